#include "series/frmmotion.h"

#include "shell/windowkit.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <cmath>

namespace vorlan {

frmMotion::frmMotion(QWidget* parent, const SeriesMotion& start) : QDialog(parent) {
    setUpToolWindow(this, QStringLiteral("frmMotion"), QStringLiteral("Сложить по движению"));
    txtSpeed = named(new QDoubleSpinBox(this), QStringLiteral("txtSpeed"));
    txtSpeed->setRange(0, 100000);
    txtSpeed->setDecimals(1);
    txtSpeed->setSuffix(QStringLiteral(" пикс/ч"));
    txtSpeed->setValue(start.pixelsPerHour);
    txtDirection = named(new QDoubleSpinBox(this), QStringLiteral("txtDirection"));
    txtDirection->setRange(0, 359.9);
    txtDirection->setDecimals(1);
    txtDirection->setWrapping(true);
    txtDirection->setSuffix(QStringLiteral("°"));
    txtDirection->setValue(std::fmod(std::fmod(start.directionDegrees, 360) + 360, 360));
    chkAll = named(new QCheckBox(QStringLiteral("все стопки по движению (иначе только снимок 3)"), this),
                   QStringLiteral("chkAll"));
    cmdOK = named(new QPushButton(QStringLiteral("Сложить"), this), QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = named(new QPushButton(QStringLiteral("Отмена"), this), QStringLiteral("cmdCancel"));

    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Скорость:"), txtSpeed);
    form->addRow(QStringLiteral("Направление (0° вверх, 90° вправо):"), txtDirection);
    form->addRow(chkAll);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    form->addRow(buttons);

    connect(cmdOK, &QPushButton::clicked, this, [this] {
        emit chosen(motion(), chkAll->isChecked());
        accept();
    });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

SeriesMotion frmMotion::motion() const {
    return {txtSpeed->value(), txtDirection->value()};
}

} // namespace vorlan

#include "report/frmsettings.h"

#include "report/reportsettings.h"
#include "shell/guard.h"
#include "shell/windowkit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <cmath>

namespace vorlan {

namespace {

/// A field that takes only letters and digits, at most `most` of them: what the report line has
/// room for.
QLineEdit* codeField(QWidget* parent, const char* name, int most, const QString& tip) {
    auto* field = named(new QLineEdit(parent), name);
    field->setMaxLength(most);
    field->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[A-Za-z0-9]{0,%1}").arg(most)), field));
    field->setToolTip(tip);
    return field;
}

} // namespace

frmSettings::frmSettings(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmSettings"));
    setWindowTitle(QStringLiteral("Настройки"));
    setAttribute(Qt::WA_DeleteOnClose);

    txtClockOffset = named(new QSpinBox(this), "txtClockOffset");
    txtClockOffset->setRange(-24 * 60, 24 * 60);
    txtClockOffset->setSuffix(QStringLiteral(" мин"));
    txtClockOffset->setToolTip(QStringLiteral(
        "На сколько минут часы фотоаппарата спешат относительно UTC (для московского времени 180)"));
    txtStation = codeField(this, "txtStation", 3,
                           QStringLiteral("Код обсерватории Центра малых планет; 500 - геоцентр"));
    txtDesignation =
        codeField(this, "txtDesignation", 7, QStringLiteral("Временное обозначение объекта в строке отчёта"));
    // ADES takes names of at most 100 characters.
    auto nameField = [this](const char* name, const QString& tip) {
        auto* field = named(new QLineEdit(this), name);
        field->setMaxLength(100);
        field->setMinimumWidth(field->fontMetrics().averageCharWidth() * 28);
        field->setToolTip(tip);
        return field;
    };
    txtSubmitter = nameField("txtSubmitter", QStringLiteral("Кто отправляет отчёт ADES, например J. Smith"));
    txtMeasurers =
        nameField("txtMeasurers", QStringLiteral("Кто измерял положения (отчёт ADES), имена через запятую"));
    txtTelescope = nameField("txtTelescope", QStringLiteral("Тип телескопа для отчёта ADES: Reflector, "
                                                            "Refractor, Schmidt, ..."));
    txtAperture = named(new QDoubleSpinBox(this), "txtAperture");
    txtAperture->setRange(0.01, 99.999);
    txtAperture->setDecimals(3);
    txtAperture->setSingleStep(0.01);
    txtAperture->setSuffix(QStringLiteral(" м"));
    txtAperture->setToolTip(QStringLiteral("Диаметр объектива в метрах"));
    cboDetector = named(new QComboBox(this), "cboDetector");
    cboDetector->addItem(QStringLiteral("ПЗС (CCD)"), QStringLiteral("CCD"));
    cboDetector->addItem(QStringLiteral("КМОП (CMO)"), QStringLiteral("CMO"));
    txtKnownLimit = named(new QDoubleSpinBox(this), "txtKnownLimit");
    txtKnownLimit->setRange(5, 30);
    txtKnownLimit->setDecimals(1);
    txtKnownLimit->setSingleStep(0.5);
    txtKnownLimit->setToolTip(QStringLiteral("Известные объекты слабее этого блеска (V) не показываются"));
    chkKnownLimitAuto = named(new QCheckBox(QStringLiteral("авто"), this), "chkKnownLimitAuto");
    chkKnownLimitAuto->setToolTip(QStringLiteral("Предел по самым слабым звёздам снимка 1 плюс 0,5 звёздной "
                                                 "величины (нуль-пункт по звёздам каталога Tycho-2)"));
    txtPlace = named(new QLineEdit(this), "txtPlace");
    txtPlace->setPlaceholderText(QStringLiteral("долгота широта высота"));
    txtPlace->setToolTip(QStringLiteral("Место наблюдения, если кода обсерватории нет в файле ObsCodes: долгота "
                                        "(градусы к востоку), широта (градусы), высота (м), через пробел; "
                                        "пусто - центр Земли"));
    cmdOK = named(new QPushButton(QStringLiteral("ОК"), this), "cmdOK");
    cmdOK->setDefault(true);
    cmdCancel = named(new QPushButton(QStringLiteral("Отмена"), this), "cmdCancel");

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Часы фотоаппарата спешат на:"), txtClockOffset);
    form->addRow(QStringLiteral("Код обсерватории:"), txtStation);
    form->addRow(QStringLiteral("Временное обозначение:"), txtDesignation);
    form->addRow(QStringLiteral("Отправитель:"), txtSubmitter);
    form->addRow(QStringLiteral("Измерители:"), txtMeasurers);
    form->addRow(QStringLiteral("Телескоп:"), txtTelescope);
    form->addRow(QStringLiteral("Апертура:"), txtAperture);
    form->addRow(QStringLiteral("Приёмник:"), cboDetector);
    auto* limit = new QHBoxLayout;
    limit->addWidget(txtKnownLimit, 1);
    limit->addWidget(chkKnownLimitAuto);
    form->addRow(QStringLiteral("Предел блеска известных объектов:"), limit);
    form->addRow(QStringLiteral("Место наблюдения:"), txtPlace);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    const ReportSettings s = ReportSettings::load();
    txtClockOffset->setValue(s.cameraClockOffsetMinutes);
    txtStation->setText(s.station);
    txtDesignation->setText(s.designation);
    txtSubmitter->setText(s.submitter);
    txtMeasurers->setText(s.measurers);
    txtTelescope->setText(s.telescopeDesign);
    txtAperture->setValue(s.apertureMetres);
    cboDetector->setCurrentIndex(std::max(0, cboDetector->findData(s.detector)));
    txtKnownLimit->setValue(s.knownMagnitudeLimit);
    chkKnownLimitAuto->setChecked(s.knownLimitAuto);
    if (s.placeTyped)
        txtPlace->setText(QStringLiteral("%1 %2 %3").arg(s.longitudeDeg).arg(s.latitudeDeg).arg(s.heightM));

    // A limit typed is the one wanted: it wins over the automatic one.
    connect(txtKnownLimit, &QDoubleSpinBox::valueChanged, chkKnownLimitAuto,
            [this] { chkKnownLimitAuto->setChecked(false); });
    connect(cmdOK, &QPushButton::clicked, this, guard([this] { cmdOK_Click(); }));
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmSettings::cmdOK_Click() {
    ReportSettings s = ReportSettings::load();
    s.cameraClockOffsetMinutes = txtClockOffset->value();
    // An incomplete code keeps the one saved before: the report needs all three characters.
    s.station =
        txtStation->text().size() == 3 ? txtStation->text().toUpper() : ReportSettings::load().station;
    if (!txtDesignation->text().isEmpty()) s.designation = txtDesignation->text();
    s.submitter = txtSubmitter->text().trimmed();
    s.measurers = txtMeasurers->text().trimmed();
    s.telescopeDesign = txtTelescope->text().trimmed();
    s.apertureMetres = txtAperture->value();
    s.detector = cboDetector->currentData().toString();
    s.knownMagnitudeLimit = txtKnownLimit->value();
    s.knownLimitAuto = chkKnownLimitAuto->isChecked();
    // Three numbers make a place; anything else leaves the observer at the Earth's centre.
    const QStringList place = txtPlace->text().simplified().replace(QLatin1Char(','), QLatin1Char('.')).split(' ');
    bool a = false, b = false, c = false;
    if (place.size() == 3) {
        s.longitudeDeg = place[0].toDouble(&a);
        s.latitudeDeg = place[1].toDouble(&b);
        s.heightM = place[2].toDouble(&c);
    }
    s.placeTyped = a && b && c && std::fabs(s.latitudeDeg) <= 90;
    s.save();
    emit saved();
    accept();
}

} // namespace vorlan

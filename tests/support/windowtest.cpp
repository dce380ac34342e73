#include "support/windowtest.h"

#include "shell/clicklabel.h"
#include "view/imageframe.h"

#include <QTest>

namespace vorlan::test {

void markPoint(frmBl& f, int k, int p, QPointF at) {
    QTest::mouseClick(f.Lbl(k), Qt::LeftButton);
    QTest::mouseClick(p == 1 ? f.lblVvod1 : f.lblVvod2, Qt::LeftButton);
    QTest::mouseClick(f.Img(k), Qt::LeftButton, Qt::NoModifier, at.toPoint());
}

QString WindowTest::load(int k, const QString& name, const QImage& picture) {
    const QString path = savePicture(dir, name, picture);
    load(k, path);
    return path;
}

void WindowTest::init() {
    startCase(prompter, f);
}

void WindowTest::cleanup() {
    endCase(prompter);
}

} // namespace vorlan::test

#include "blink/differencelayer.h"

#include "shell/windowkit.h"
#include "view/imageframe.h"

#include <QEvent>

namespace vorlan {

DifferenceLayer::DifferenceLayer(QWidget* area, ImageFrame* img1, ImageFrame* img2, ImageFrame* img3)
    : QWidget(area), m_slots{img1, img2, img3} {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    // Opaque, so that a larger picture 2 or 3 below does not show round the difference.
    setAutoFillBackground(true);
    for (int k = 2; k <= 3; ++k) {
        auto* f = named(new ImageFrame(this), QStringLiteral("ImgRaznost%1").arg(k));
        f->setAttribute(Qt::WA_TransparentForMouseEvents);
        f->hide();
        m_frames[size_t(k - 2)] = f;
    }
    setGeometry(area->rect());
    area->installEventFilter(this);
    for (ImageFrame* f : m_slots)
        f->installEventFilter(this);
    connect(img1, &ImageFrame::placementChanged, this, &DifferenceLayer::place);
    place();
    hide();
}

ImageFrame* DifferenceLayer::frame(int k) const {
    return m_frames.at(size_t(k - 2));
}

void DifferenceLayer::setOn(bool on) {
    m_on = on;
    follow();
}

void DifferenceLayer::setDifference(int k, const QImage& difference) {
    ImageFrame* f = frame(k);
    if (difference.isNull())
        f->clearPicture();
    else if (difference.cacheKey() != f->picture().cacheKey())
        f->setPicture(difference);
    follow();
}

int DifferenceLayer::shownSlot() const {
    if (isHidden()) return 0;
    for (int k = 2; k <= 3; ++k)
        if (!frame(k)->isHidden()) return k;
    return 0;
}

void DifferenceLayer::follow() {
    int k = 0;
    if (m_on && m_slots[0]->isHidden())
        k = !m_slots[1]->isHidden() ? 2 : !m_slots[2]->isHidden() ? 3 : 0;
    if (k && frame(k)->picture().isNull()) k = 0;
    for (int j = 2; j <= 3; ++j)
        frame(j)->setVisible(j == k);
    setVisible(k != 0);
}

void DifferenceLayer::place() {
    const ImageFrame* img1 = m_slots[0];
    for (ImageFrame* f : m_frames) {
        f->resize(img1->size());
        f->setDisplayScale(img1->displayScale());
        f->setPosition(img1->Left(), img1->Top());
    }
}

bool DifferenceLayer::eventFilter(QObject* watched, QEvent* e) {
    if (watched == parentWidget()) {
        if (e->type() == QEvent::Resize) setGeometry(parentWidget()->rect());
    } else if (e->type() == QEvent::ShowToParent || e->type() == QEvent::HideToParent) {
        follow();
    }
    return QWidget::eventFilter(watched, e);
}

} // namespace vorlan

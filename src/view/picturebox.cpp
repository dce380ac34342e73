#include "view/picturebox.h"

#include <QPaintEvent>
#include <QPainter>

namespace vorlan {

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {}

void PictureBox::setPicture(const QImage& image) {
    m_image = image;
    if (!m_image.isNull())
        resize(m_image.size());
    update();
}

void PictureBox::clearPicture() { setPicture(QImage()); }

void PictureBox::paintEvent(QPaintEvent* e) {
    if (m_image.isNull())
        return;
    QPainter p(this);
    p.drawImage(e->rect(), m_image, e->rect());
}

} // namespace vorlan

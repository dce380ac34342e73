#pragma once

#include <QImage>
#include <QWidget>

namespace vorlan {

/// Pic1: a picture box that sizes itself to its picture. It shares the slot's decoded picture
/// (implicit sharing), so it never holds a second copy of the pixels.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    void setPicture(const QImage& image);
    const QImage& picture() const { return m_image; }
    void clearPicture();

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QImage m_image;
};

} // namespace vorlan

#pragma once

#include <QLineF>
#include <QWidget>
#include <array>

namespace vorlan {

/// The six green marker lines (Line4 items 0 to 5), drawn above the pictures by a transparent
/// widget that lets every mouse event through to the frames below.
class MarkerOverlay : public QWidget {
    Q_OBJECT
public:
    static constexpr int Count = 6;

    explicit MarkerOverlay(QWidget* parent = nullptr);

    void setLine(int index, const QLineF& line);
    QLineF line(int index) const { return m_lines.at(index); }
    void setLineVisible(int index, bool visible);
    bool isLineVisible(int index) const { return m_visible.at(index); }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    std::array<QLineF, Count> m_lines{};
    std::array<bool, Count> m_visible{};
};

} // namespace vorlan

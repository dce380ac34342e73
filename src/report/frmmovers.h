#pragma once

#include "report/moverrows.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QTableWidget;

namespace vorlan {

/// "Движущиеся объекты": the candidates of the last search, one row each, then the flashes. The
/// window is not modal: the blink goes on while the user steps through the rows. Choosing a row
/// (a click, Up, Down) asks the main window to show the spot; "Копировать строку отчёта" asks it
/// for the report of the chosen row.
class frmMovers : public QWidget {
    Q_OBJECT
  public:
    explicit frmMovers(QWidget* parent = nullptr);

    QLabel* lblStatus;
    QTableWidget* lstMovers;
    QPushButton* cmdReport;
    QPushButton* cmdVihod;

    /// Shows the rows (replacing those shown) and the summary; no row is chosen.
    void setRows(const QVector<MoverRow>& rows, const QString& summary);
    /// Shows a status text instead of the summary ("Поиск...").
    void setStatus(const QString& text);
    const QVector<MoverRow>& rows() const { return m_rows; }
    /// The chosen row, -1 when none is.
    int currentRow() const;

  signals:
    /// A row was chosen.
    void rowChosen(int row);
    void reportRequested();

  private:
    QVector<MoverRow> m_rows;
};

/// The window, created on first use (and again after it was closed).
frmMovers& MoversWindow();
bool MoversWindowExists();

} // namespace vorlan

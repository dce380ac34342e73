#pragma once

// A QtTest data table written as what it is: its columns' types and names once, then its rows.
// The row's values are converted to the columns' types where they are written, so a row that
// gives 0 to a double column or a literal to a QString column holds what the test will fetch,
// and a row with a value missing does not compile.

#include <QtTest>

namespace vorlan::test {

template <typename... Columns> class DataTable {
  public:
    /// Declares the columns, one name per type.
    template <typename... Names>
        requires(sizeof...(Names) == sizeof...(Columns))
    explicit DataTable(const Names&... names) {
        (QTest::addColumn<Columns>(names), ...);
    }

    /// Adds the row `name` with one value per column.
    DataTable& row(const char* name, const Columns&... values) {
        (QTest::newRow(name) << ... << values);
        return *this;
    }
};

/// The table of a function from a text to a text: what it is given and what it returns.
inline DataTable<QString, QString> textFunctionTable() {
    return DataTable<QString, QString>("given", "returned");
}

/// Checks function f against the current row of a textFunctionTable().
template <typename F> void checkTextFunction(F f) {
    QFETCH(QString, given);
    QFETCH(QString, returned);
    QCOMPARE(f(given), returned);
}

} // namespace vorlan::test

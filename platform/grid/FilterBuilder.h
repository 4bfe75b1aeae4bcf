#pragma once
#include "GridEngine.h"
#include <QDialog>
#include <vector>

class QVBoxLayout;
class QComboBox;
class QLineEdit;

namespace grid {

// A filter as a list of "column operator value" rows, all of which must hold.
class FilterBuilderDialog : public QDialog {
    Q_OBJECT
public:
    // columns: field index and caption of each column offered.
    FilterBuilderDialog(const std::vector<std::pair<int, QString>> &columns, QWidget *parent = nullptr);

    void setConditions(const std::vector<FilterCondition> &conditions);
    std::vector<FilterCondition> conditions() const;
    int rowCount() const { return int(m_rows.size()); }
    // Adds an editable row; returns its index.
    int addRow(const FilterCondition &c = {});
    void removeRow(int i);
    QComboBox *columnBox(int row) const { return m_rows[size_t(row)].column; }
    QComboBox *operatorBox(int row) const { return m_rows[size_t(row)].op; }
    QLineEdit *valueEdit(int row) const { return m_rows[size_t(row)].value; }

    static std::vector<FilterOp> operators();

private:
    struct Row {
        QWidget *box;
        QComboBox *column;
        QComboBox *op;
        QLineEdit *value;
        bool fromFilterRow;
    };
    std::vector<std::pair<int, QString>> m_columns;
    std::vector<Row> m_rows;
    QVBoxLayout *m_rowsLayout;
};

} // namespace grid

// The rows of a list view in report mode: cells as the program gave them,
// a 32-bit key and a text colour per row, and an index of the first column
// for finding a row by its text without looking at every row.
#pragma once

#include <QAbstractTableModel>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/ui.h"

class ReportModel : public QAbstractTableModel {
  public:
    struct Row {
        std::vector<std::string> cells;
        std::uint32_t key;
        RGB color;
    };
    struct Column {
        std::string text;
        int width;
    };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Inserts at column (clamped); returns the column's index.
    int InsertColumn(int column, const std::string& text, int width);
    bool SetColumn(int column, const std::string& text, int width);
    const std::vector<Column>& Columns() const { return columns_; }

    void SetTextColor(RGB color) { color_ = color; }
    RGB TextColor() const { return color_; }
    int InsertRow(int index, const std::string& text, std::uint32_t key);
    void SetCell(int row, int column, const std::string& text);
    std::string Cell(int row, int column) const;
    std::uint32_t Key(int row) const;
    RGB RowColor(int row) const;
    int Count() const { return static_cast<int>(rows_.size()); }
    // Orders the rows stably by compare over their keys.
    void Sort(ListCompare compare, std::intptr_t param);
    void Clear();
    // First row whose first cell equals text ignoring letter case; -1 if none.
    int Find(const std::string& text);

  private:
    void Reindex();

    std::vector<Row> rows_;
    std::vector<Column> columns_;
    RGB color_ = 0;
    std::unordered_map<std::string, int> index_;  // folded first cell -> first row
    bool indexStale_ = false;
};

#include "platform/qt/listmodel.h"

#include <QColor>
#include <algorithm>

#include "platform/files.h"
#include "platform/qt/text.h"

int ReportModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ReportModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant ReportModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
    const Row& row = rows_[static_cast<std::size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole: {
            auto c = static_cast<std::size_t>(index.column());
            return c < row.cells.size() ? qttext::ToQ(row.cells[c]) : QString();
        }
        case Qt::ForegroundRole:
            return QColor(static_cast<int>(row.color & 0xFF),
                          static_cast<int>((row.color >> 8) & 0xFF),
                          static_cast<int>((row.color >> 16) & 0xFF));
        default:
            return {};
    }
}

QVariant ReportModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    if (section < 0 || section >= static_cast<int>(columns_.size())) return {};
    return qttext::ToQ(columns_[static_cast<std::size_t>(section)].text);
}

int ReportModel::InsertColumn(int column, const std::string& text, int width) {
    column = std::clamp(column, 0, static_cast<int>(columns_.size()));
    beginInsertColumns(QModelIndex(), column, column);
    columns_.insert(columns_.begin() + column, Column{text, width});
    endInsertColumns();
    return column;
}

bool ReportModel::SetColumn(int column, const std::string& text, int width) {
    if (column < 0 || column >= static_cast<int>(columns_.size())) return false;
    Column& c = columns_[static_cast<std::size_t>(column)];
    c = Column{text, width < 0 ? c.width : width};
    emit headerDataChanged(Qt::Horizontal, column, column);
    return true;
}

int ReportModel::InsertRow(int index, const std::string& text, std::uint32_t key) {
    int count = static_cast<int>(rows_.size());
    index = (index < 0 || index > count) ? count : index;
    beginInsertRows(QModelIndex(), index, index);
    rows_.insert(rows_.begin() + index, Row{{text}, key, color_});
    endInsertRows();
    if (index == count && !indexStale_) {
        index_.emplace(FoldCase(text), index);
    } else {
        indexStale_ = true;
    }
    return index;
}

void ReportModel::SetCell(int row, int column, const std::string& text) {
    if (row < 0 || row >= static_cast<int>(rows_.size()) || column < 0) return;
    auto& cells = rows_[static_cast<std::size_t>(row)].cells;
    if (static_cast<int>(cells.size()) <= column)
        cells.resize(static_cast<std::size_t>(column) + 1);
    cells[static_cast<std::size_t>(column)] = text;
    if (column == 0) indexStale_ = true;
    if (column < static_cast<int>(columns_.size())) {
        QModelIndex at = this->index(row, column);
        emit dataChanged(at, at, {Qt::DisplayRole});
    }
}

std::string ReportModel::Cell(int row, int column) const {
    if (row < 0 || row >= static_cast<int>(rows_.size()) || column < 0) return "";
    const auto& cells = rows_[static_cast<std::size_t>(row)].cells;
    return column < static_cast<int>(cells.size()) ? cells[static_cast<std::size_t>(column)] : "";
}

std::uint32_t ReportModel::Key(int row) const {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return 0;
    return rows_[static_cast<std::size_t>(row)].key;
}

RGB ReportModel::RowColor(int row) const {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return 0;
    return rows_[static_cast<std::size_t>(row)].color;
}

void ReportModel::Sort(ListCompare compare, std::intptr_t param) {
    std::vector<int> from(rows_.size());
    for (std::size_t i = 0; i < from.size(); ++i) from[i] = static_cast<int>(i);
    std::stable_sort(from.begin(), from.end(), [&](int a, int b) {
        return compare(rows_[static_cast<std::size_t>(a)].key,
                       rows_[static_cast<std::size_t>(b)].key, param) < 0;
    });
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // The view's selection and current row are persistent indexes: they
    // follow their rows to the new places.
    std::vector<int> to(from.size());
    std::vector<Row> sorted;
    sorted.reserve(rows_.size());
    for (std::size_t i = 0; i < from.size(); ++i) {
        to[static_cast<std::size_t>(from[i])] = static_cast<int>(i);
        sorted.push_back(std::move(rows_[static_cast<std::size_t>(from[i])]));
    }
    rows_ = std::move(sorted);
    QModelIndexList before = persistentIndexList(), after;
    for (const QModelIndex& at : before)
        after << index(to[static_cast<std::size_t>(at.row())], at.column());
    changePersistentIndexList(before, after);
    indexStale_ = true;
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ReportModel::Clear() {
    if (rows_.empty()) return;
    beginResetModel();
    rows_.clear();
    index_.clear();
    indexStale_ = false;
    endResetModel();
}

int ReportModel::Find(const std::string& text) {
    if (indexStale_) Reindex();
    auto it = index_.find(FoldCase(text));
    return it == index_.end() ? -1 : it->second;
}

void ReportModel::Reindex() {
    index_.clear();
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
        const auto& cells = rows_[static_cast<std::size_t>(i)].cells;
        index_.emplace(FoldCase(cells.empty() ? "" : cells[0]), i);
    }
    indexStale_ = false;
}

#include "TableModel.h"

#include <QLocale>
#include <algorithm>

TableModel::TableModel(QObject* parent) : QAbstractTableModel(parent) {}

void TableModel::setTable(const EepfTable& table)
{
    beginResetModel();
    table_ = table;
    std::stable_sort(table_.rows.begin(), table_.rows.end(),
                     [](const EepfRow& a, const EepfRow& b) { return a.energy < b.energy; });
    endResetModel();
}

int TableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : table_.size();
}

int TableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 2; }

QVariant TableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= table_.size() || index.column() > 1)
        return QVariant();
    const EepfRow& r = table_.rows.at(index.row());
    const double v = index.column() == 0 ? r.energy : r.resolution;
    switch (role) {
    case Qt::DisplayRole:
        return QString::number(v, 'g', 6);
    case Qt::EditRole:
        return v;
    case Qt::TextAlignmentRole:
        return int(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::ToolTipRole:
        return readOnly_ ? QVariant() : QVariant(QStringLiteral("Double click to edit."));
    default:
        return QVariant();
    }
}

QVariant TableModel::headerData(int section, Qt::Orientation o, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (o == Qt::Horizontal)
        return section == 0 ? QStringLiteral("Energy") : QStringLiteral("Resolution");
    return section + 1;
}

Qt::ItemFlags TableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (!readOnly_)
        f |= Qt::ItemIsEditable;
    return f;
}

bool TableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.row() >= table_.size()
        || index.column() > 1 || readOnly_)
        return false;
    bool ok = false;
    double v = value.toDouble(&ok);
    if (!ok && value.type() == QVariant::String)
        v = QLocale().toDouble(value.toString(), &ok); // the user's locale in the editor
    if (!ok)
        return false;
    EepfRow& r = table_.rows[index.row()];
    if (index.column() == 1) {
        r.resolution = v;
        emit dataChanged(index, index);
        return true;
    }
    if (v == r.energy)
        return false;
    for (int i = 0; i < table_.size(); ++i) {
        if (i != index.row() && table_.rows.at(i).energy == v) {
            emit entryError(QStringLiteral("An entry for this energy level already exists."));
            return false;
        }
    }
    r.energy = v;
    sortRows();
    return true;
}

void TableModel::sortRows()
{
    emit layoutAboutToBeChanged();
    std::stable_sort(table_.rows.begin(), table_.rows.end(),
                     [](const EepfRow& a, const EepfRow& b) { return a.energy < b.energy; });
    emit layoutChanged();
}

bool TableModel::insertRows(int row, int count, const QModelIndex& parent)
{
    if (parent.isValid() || count < 1 || row < 0 || row > table_.size())
        return false;
    const bool append = row == table_.size() && !table_.isEmpty();
    const EepfRow last = append ? table_.rows.last() : EepfRow{};
    beginInsertRows(parent, row, row + count - 1);
    for (int k = 0; k < count; ++k) {
        EepfRow r;
        if (append) {
            r.energy = last.energy + last.resolution + k * last.resolution;
            r.resolution = last.resolution;
        } else {
            r.energy = k + 1;
            r.resolution = 1;
        }
        table_.rows.insert(row + k, r);
    }
    endInsertRows();
    return true;
}

bool TableModel::removeRows(int row, int count, const QModelIndex& parent)
{
    if (parent.isValid() || row < 0 || count < 1 || row >= table_.size())
        return false;
    count = std::min(count, table_.size() - row);
    beginRemoveRows(parent, row, row + count - 1);
    table_.rows.remove(row, count);
    endRemoveRows();
    return true;
}

void TableModel::clear()
{
    beginResetModel();
    table_.rows.clear();
    endResetModel();
}

#pragma once
// Item model of an EEPF table for the table dialog: two columns "Energy" and
// "Resolution", rows kept sorted by energy, energies unique.

#include "EepfTable.h"

#include <QAbstractTableModel>

class TableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TableModel(QObject* parent = nullptr);

    void setTable(const EepfTable& table); // sorted by energy on the way in
    EepfTable table() const { return table_; }
    void setReadOnly(bool readOnly) { readOnly_ = readOnly; }
    bool isReadOnly() const { return readOnly_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation o, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Text that is not a number is refused; a duplicate energy is refused with entryError.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    // Rows appended after a non-empty table continue its energy steps; others count 1, 2, ...
    bool insertRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;
    void clear();

signals:
    void entryError(const QString& message);

private:
    void sortRows();

    EepfTable table_;
    bool readOnly_ = false;
};

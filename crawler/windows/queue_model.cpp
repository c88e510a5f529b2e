#include "crawler/windows/queue_model.h"

namespace harbek::windows {

QueueModel::QueueModel(const crawler::CrawlQueue& queue, QObject* parent)
    : QAbstractListModel(parent), queue_(queue), rows_(static_cast<int>(queue.count())) {}

int QueueModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

QVariant QueueModel::data(const QModelIndex& index, int role) const {
  const auto row = static_cast<size_t>(index.row());
  if (role != Qt::DisplayRole || !index.isValid() || row >= queue_.count()) return {};
  return QString::fromStdU16String(queue_.itemAt(row));
}

void QueueModel::apply(const crawler::QueueChange& change) {
  const int row = static_cast<int>(change.index);
  if (change.kind != crawler::QueueChange::Kind::kRemoved) {
    beginInsertRows({}, row, row);
    ++rows_;
    endInsertRows();
  } else {
    beginRemoveRows({}, row, row);
    --rows_;
    endRemoveRows();
  }
}

}  // namespace harbek::windows

// List1 as a list model: the crawl queue, head first. The model mirrors the
// queue from its change notifications, one row at a time, and reads the
// texts from the queue itself, so a long queue costs nothing until rows are
// painted.
#pragma once

#include <QAbstractListModel>

#include "crawler/crawl_queue.h"

namespace harbek::windows {

class QueueModel : public QAbstractListModel {
  Q_OBJECT

 public:
  QueueModel(const crawler::CrawlQueue& queue, QObject* parent);

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  // The queue has just changed by this one entry.
  void apply(const crawler::QueueChange& change);

 private:
  const crawler::CrawlQueue& queue_;
  // The rows announced to the views; the queue is one step ahead of it
  // while a change is being announced.
  int rows_;
};

}  // namespace harbek::windows

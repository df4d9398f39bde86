#include "store/SnapshotAsyncCancelable.h"

SnapshotAsyncCancelable::SnapshotAsyncCancelable(QObject* parent)
    : QObject(parent)
{
}

SnapshotAsyncCancelable::~SnapshotAsyncCancelable()
{
    m_cancel.store(true, std::memory_order_seq_cst);
}

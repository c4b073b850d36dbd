#include "live/FlowLayout.h"

#include <QWidget>

#include <algorithm>

FlowLayout::FlowLayout(QWidget *parent) : QLayout(parent) {}

FlowLayout::~FlowLayout()
{
    while (QLayoutItem *item = takeAt(0))
        delete item;
}

void FlowLayout::addItem(QLayoutItem *item) { m_items.append(item); }

int FlowLayout::count() const { return m_items.size(); }

QLayoutItem *FlowLayout::itemAt(int index) const { return m_items.value(index); }

QLayoutItem *FlowLayout::takeAt(int index)
{
    return index >= 0 && index < m_items.size() ? m_items.takeAt(index) : nullptr;
}

Qt::Orientations FlowLayout::expandingDirections() const { return {}; }

bool FlowLayout::hasHeightForWidth() const { return true; }

int FlowLayout::heightForWidth(int width) const { return place(QRect(0, 0, width, 0), false); }

QSize FlowLayout::minimumSize() const
{
    // The widest item alone on its row.
    QSize size;
    for (const QLayoutItem *item : m_items) {
        if (!item->isEmpty())
            size = size.expandedTo(item->minimumSize());
    }
    const QMargins m = contentsMargins();
    return size + QSize(m.left() + m.right(), m.top() + m.bottom());
}

QSize FlowLayout::sizeHint() const
{
    // Everything on one row.
    int width = 0;
    int height = 0;
    for (const QLayoutItem *item : m_items) {
        if (item->isEmpty())
            continue;
        width += (width > 0 ? spacing() : 0) + item->sizeHint().width();
        height = std::max(height, item->sizeHint().height());
    }
    const QMargins m = contentsMargins();
    return QSize(width + m.left() + m.right(), height + m.top() + m.bottom());
}

void FlowLayout::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    place(rect, true);
}

int FlowLayout::place(const QRect &rect, bool apply) const
{
    const QRect area = rect.marginsRemoved(contentsMargins());
    const int gap = spacing();
    QList<QLayoutItem *> row;
    int rowWidth = 0;
    int rowHeight = 0;
    int y = area.y();
    const auto finishRow = [&] {
        if (apply) {
            int x = area.x();
            for (QLayoutItem *item : row) {
                const QSize size = item->sizeHint();
                item->setGeometry(QRect(QPoint(x, y + (rowHeight - size.height()) / 2), size));
                x += size.width() + gap;
            }
        }
        y += rowHeight + gap;
        row.clear();
        rowWidth = 0;
        rowHeight = 0;
    };
    for (QLayoutItem *item : m_items) {
        if (item->isEmpty())
            continue;
        const QSize size = item->sizeHint();
        if (!row.isEmpty() && rowWidth + gap + size.width() > area.width())
            finishRow();
        rowWidth += (row.isEmpty() ? 0 : gap) + size.width();
        rowHeight = std::max(rowHeight, size.height());
        row.append(item);
    }
    if (!row.isEmpty())
        finishRow();
    const int used = y > area.y() ? y - gap - area.y() : 0;
    const QMargins m = contentsMargins();
    return used + m.top() + m.bottom();
}

#pragma once

#include <QLayout>
#include <QList>

// Lays its widgets out left to right and starts a new row where the next one would not fit, so a
// toolbar with many controls wraps instead of squeezing them below their size (cut labels). Hidden
// widgets take no room. Each row is as tall as its tallest item, the others centred in it.
class FlowLayout : public QLayout
{
public:
    explicit FlowLayout(QWidget *parent);
    ~FlowLayout() override;

    void addItem(QLayoutItem *item) override;
    int count() const override;
    QLayoutItem *itemAt(int index) const override;
    QLayoutItem *takeAt(int index) override;
    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    QSize minimumSize() const override;
    QSize sizeHint() const override;
    void setGeometry(const QRect &rect) override;

private:
    // Places the items in `rect` (moving them only when `apply`); returns the height used.
    int place(const QRect &rect, bool apply) const;

    QList<QLayoutItem *> m_items;
};

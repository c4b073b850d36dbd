#pragma once

#include <QString>
#include <QStringList>

class QAbstractButton;
class QLabel;

// Widget texts, icons and tooltips of one page, read from the semicolon-separated label
// resource and keyed by the widget's object name. Build one on construction, apply, drop it.
class LabelTable
{
public:
    static const QString defaultFile; // ":/labels/labels_it.csv"

    LabelTable(const QString &fileName, const QString &viewName);
    explicit LabelTable(const QString &viewName);

    const QString &fileName() const { return m_fileName; }
    int rowCount() const { return m_names.size(); }

    // First row of the view whose widget name matches exactly; empty when there is none.
    QString label(const QString &widgetName) const;
    QString icon(const QString &widgetName) const;
    QString tooltip(const QString &widgetName) const;

    // Text, icon (an empty path clears it) and tooltip of the button's own row.
    void applyAll(QAbstractButton *button) const;
    void applyText(QLabel *label) const;
    void applyText(QAbstractButton *button) const;

private:
    QString field(const QStringList &column, const QString &widgetName) const;

    QString m_fileName;
    QStringList m_names;
    QStringList m_icons;
    QStringList m_labels;
    QStringList m_tooltips;
};

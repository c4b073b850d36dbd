#include "common/LabelTable.h"

#include "resources/Resources.h"

#include <QAbstractButton>
#include <QFile>
#include <QIcon>
#include <QLabel>
#include <QTextStream>

const QString LabelTable::defaultFile = QStringLiteral(":/labels/labels_it.csv");

LabelTable::LabelTable(const QString &viewName)
    : LabelTable(defaultFile, viewName)
{
}

LabelTable::LabelTable(const QString &fileName, const QString &viewName)
    : m_fileName(fileName)
{
    krn::initResources();
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    QTextStream in(&file);
    in.setCodec("Windows-1252");
    in.readLine(); // header
    while (!in.atEnd()) {
        const QStringList fields = in.readLine().split(QLatin1Char(';'));
        if (fields.size() < 5 || fields.at(0) != viewName)
            continue;
        m_names << fields.at(1);
        m_icons << fields.at(2);
        m_labels << fields.at(3);
        m_tooltips << fields.at(4);
    }
}

QString LabelTable::field(const QStringList &column, const QString &widgetName) const
{
    const int index = m_names.indexOf(widgetName);
    return index < 0 ? QString() : column.at(index);
}

QString LabelTable::label(const QString &widgetName) const { return field(m_labels, widgetName); }
QString LabelTable::icon(const QString &widgetName) const { return field(m_icons, widgetName); }
QString LabelTable::tooltip(const QString &widgetName) const { return field(m_tooltips, widgetName); }

void LabelTable::applyAll(QAbstractButton *button) const
{
    const QString name = button->objectName();
    button->setText(label(name));
    const QString path = icon(name);
    button->setIcon(path.isEmpty() ? QIcon() : QIcon(path));
    button->setToolTip(tooltip(name));
}

void LabelTable::applyText(QLabel *label) const
{
    label->setText(this->label(label->objectName()));
}

void LabelTable::applyText(QAbstractButton *button) const
{
    button->setText(label(button->objectName()));
}

#include "report/SnapshotNotesDialog.h"

#include "common/LabelTable.h"

#include <QDialogButtonBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTextEdit>
#include <QVBoxLayout>

namespace {

template <class W>
W *named(W *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

SnapshotNotesDialog::SnapshotNotesDialog(QWidget *parent)
    : QDialog(parent), m_labelTitle(named(new QLabel, "labelTitle")), m_textEdit(named(new QTextEdit, "textEdit")),
      m_timeFrame(named(new QFrame, "timeFrame")), m_hourLineEdit(named(new QLineEdit("24"), "hourLineEdit")),
      m_minuteLineEdit(named(new QLineEdit("00"), "minuteLineEdit")),
      m_buttonBox(named(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel), "buttonBox"))
{
    setObjectName("SnapshotNotesDialog");
    setWindowTitle("Snapshot");
    resize(520, 360);

    m_labelTitle->setWordWrap(true);
    m_textEdit->setAcceptRichText(true);
    m_timeFrame->setFrameShape(QFrame::StyledPanel);
    m_timeFrame->setFrameShadow(QFrame::Raised);
    auto *time = new QHBoxLayout(m_timeFrame);
    time->addWidget(named(new QLabel("Tempo ecg analizzato"), "label"));
    time->addWidget(named(new QLabel("Ore"), "label_2"));
    time->addWidget(m_hourLineEdit);
    time->addWidget(named(new QLabel("Minuti"), "label_3"));
    time->addWidget(m_minuteLineEdit);
    time->addStretch(1);
    m_hourLineEdit->setMaximumWidth(60);
    m_minuteLineEdit->setMaximumWidth(60);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_labelTitle);
    layout->addWidget(m_textEdit, 1);
    layout->addWidget(m_timeFrame);
    layout->addWidget(m_buttonBox);
    connect(m_buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);

    LabelTable(objectName()).applyText(m_labelTitle);
    m_textEdit->setFocus();
}

void SnapshotNotesDialog::setTitleText(const QString &text) { m_labelTitle->setText(text); }

QString SnapshotNotesDialog::titleText() const { return m_labelTitle->text(); }

QString SnapshotNotesDialog::noteHtml() const { return m_textEdit->toHtml(); }

QString SnapshotNotesDialog::hoursText() const { return m_hourLineEdit->text(); }

QString SnapshotNotesDialog::minutesText() const { return m_minuteLineEdit->text(); }

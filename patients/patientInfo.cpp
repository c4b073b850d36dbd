#include "patients/patientInfo.h"

#include "common/LabelTable.h"
#include "patients/FiscalCode.h"

#include <QButtonGroup>
#include <QDateEdit>
#include <QDateTime>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTextEdit>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QDate earliestBirth(1800, 1, 1);
const QDate newPatientBirth(1950, 1, 1);

QString capitalised(QString text)
{
    if (!text.isEmpty())
        text[0] = text.at(0).toUpper();
    return text;
}

std::string utf8(const QString &text)
{
    return text.toUtf8().toStdString();
}

} // namespace

patientInfo::patientInfo(QWidget *parent)
    : QWidget(parent),
      m_name(new QLineEdit),
      m_surname(new QLineEdit),
      m_cf(new QLineEdit),
      m_weight(new QLineEdit),
      m_height(new QLineEdit),
      m_birth(new QDateEdit),
      m_female(new QRadioButton(QStringLiteral("Femmina"))),
      m_male(new QRadioButton(QStringLiteral("Maschio"))),
      m_sexGroup(new QButtonGroup(this)),
      m_note(new QTextEdit),
      m_sizeValidator(new QIntValidator(0, 250, this)),
      m_buttonSave(new QPushButton),
      m_buttonEdit(new QPushButton),
      m_buttonClose(new QPushButton),
      m_buttonSaveSetup(new QPushButton),
      m_buttonSetup(new QPushButton)
{
    setObjectName("patientInfo");
    m_name->setObjectName("name");
    m_surname->setObjectName("surname");
    m_cf->setObjectName("cf");
    m_weight->setObjectName("weight");
    m_height->setObjectName("height");
    m_birth->setObjectName("birth");
    m_female->setObjectName("female");
    m_male->setObjectName("male");
    m_note->setObjectName("textEditNote");
    m_buttonSave->setObjectName("buttonSave");
    m_buttonEdit->setObjectName("buttonEdit");
    m_buttonClose->setObjectName("buttonClose");
    m_buttonSaveSetup->setObjectName("buttonSaveSetup");
    m_buttonSetup->setObjectName("buttonSetup");

    auto *title = new QLabel(QStringLiteral(
        "<html><head/><body><p align=\"center\"><span style=\" font-size:12pt; font-weight:600;\">"
        "Dettagli paziente</span></p></body></html>"));
    title->setObjectName("label");
    title->setFixedHeight(98);

    m_birth->setDisplayFormat("dd.MM.yyyy");
    m_birth->setCalendarPopup(true);
    m_birth->setDateRange(earliestBirth, QDate::currentDate());
    // Shown while the date sits at the minimum, i.e. while no birth date has been given.
    m_birth->setSpecialValueText(" ");
    m_birth->setDate(earliestBirth);

    auto *sex = new QGroupBox;
    sex->setObjectName("sex");
    m_sexGroup->addButton(m_female, 0);
    m_sexGroup->addButton(m_male, 1);
    m_sexGroup->setExclusive(true);
    auto *sexRow = new QHBoxLayout(sex);
    sexRow->setContentsMargins(6, 2, 6, 2);
    sexRow->addWidget(m_female);
    sexRow->addWidget(m_male);
    sexRow->addStretch(1);

    m_weight->setValidator(m_sizeValidator);
    m_height->setValidator(m_sizeValidator);
    m_cf->setPlaceholderText(QStringLiteral("16 caratteri"));
    m_note->setAcceptRichText(false);
    m_note->setMinimumHeight(70);

    auto caption = [](const char *objectName) {
        auto *l = new QLabel;
        l->setObjectName(objectName);
        return l;
    };
    QLabel *captions[] = {caption("labelName"), caption("labelSurname"), caption("labelBirth"),
                          caption("labelCF"),   caption("labelSex"),     caption("labelWeight"),
                          caption("labelHeight"), caption("labelNote")};
    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    grid->addWidget(captions[0], 0, 0);
    grid->addWidget(m_name, 0, 1);
    grid->addWidget(captions[4], 0, 2);
    grid->addWidget(sex, 0, 3);
    grid->addWidget(captions[1], 1, 0);
    grid->addWidget(m_surname, 1, 1);
    grid->addWidget(captions[5], 1, 2);
    grid->addWidget(m_weight, 1, 3);
    grid->addWidget(captions[2], 2, 0);
    grid->addWidget(m_birth, 2, 1);
    grid->addWidget(captions[6], 2, 2);
    grid->addWidget(m_height, 2, 3);
    grid->addWidget(captions[3], 3, 0);
    grid->addWidget(m_cf, 3, 1);
    grid->addWidget(captions[7], 4, 0, Qt::AlignTop);
    grid->addWidget(m_note, 4, 1, 1, 3);
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(3, 2);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_buttonEdit);
    buttons->addWidget(m_buttonSetup);
    buttons->addStretch(1);
    buttons->addWidget(m_buttonClose);
    buttons->addWidget(m_buttonSave);
    buttons->addWidget(m_buttonSaveSetup);

    auto *frame = new QFrame;
    frame->setObjectName("detailsFrame");
    auto *inner = new QVBoxLayout(frame);
    inner->setContentsMargins(16, 0, 16, 12);
    inner->addWidget(title);
    inner->addLayout(grid);
    inner->addLayout(buttons);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame);

    const LabelTable labels(objectName());
    for (QLabel *l : captions)
        labels.applyText(l);
    for (QPushButton *b : {m_buttonSave, m_buttonEdit, m_buttonClose, m_buttonSaveSetup, m_buttonSetup})
        labels.applyAll(b);

    for (QLineEdit *e : {m_name, m_surname, m_cf, m_weight, m_height})
        connect(e, &QLineEdit::textChanged, this, &patientInfo::checkAllFilled);
    connect(m_birth, &QDateEdit::dateChanged, this, &patientInfo::checkAllFilled);
    connect(m_male, &QRadioButton::clicked, this, &patientInfo::checkAllFilled);
    connect(m_female, &QRadioButton::clicked, this, &patientInfo::checkAllFilled);
    // A note-only change of a stored patient goes through the same check as any other change.
    connect(m_note, &QTextEdit::textChanged, this, &patientInfo::checkAllFilled);
    connect(m_buttonEdit, &QPushButton::clicked, this, &patientInfo::editPatient);

    clear();
}

QList<QWidget *> patientInfo::fields() const
{
    return {m_name, m_surname, m_cf, m_weight, m_height, m_birth, m_female, m_male, m_note};
}

void patientInfo::setFieldsEnabled(bool enabled)
{
    for (QWidget *w : fields())
        w->setEnabled(enabled);
}

void patientInfo::showOnly(std::initializer_list<QPushButton *> shown)
{
    for (QPushButton *b : {m_buttonSave, m_buttonEdit, m_buttonClose, m_buttonSaveSetup, m_buttonSetup})
        b->setVisible(std::find(shown.begin(), shown.end(), b) != shown.end());
}

void patientInfo::clearFields()
{
    for (QLineEdit *e : {m_name, m_surname, m_cf, m_weight, m_height})
        e->clear();
    m_note->clear();
    m_birth->setDate(earliestBirth);
    // An exclusive group never lets the last checked button go on its own.
    m_sexGroup->setExclusive(false);
    m_female->setChecked(false);
    m_male->setChecked(false);
    m_sexGroup->setExclusive(true);
}

void patientInfo::clear()
{
    clearFields();
    setFieldsEnabled(false);
    showOnly({});
    m_editing = false;
}

void patientInfo::setViewingMode()
{
    setFieldsEnabled(false);
    showOnly({m_buttonEdit});
    m_buttonEdit->setEnabled(true);
}

void patientInfo::patientViewSelected(int)
{
    setViewingMode();
}

void patientInfo::addNewPatient()
{
    clearFields();
    m_birth->setDate(newPatientBirth);
    setFieldsEnabled(true);
    m_editing = false;
    showOnly({m_buttonSave, m_buttonClose, m_buttonSaveSetup});
    m_buttonSave->setEnabled(false);
    m_buttonSaveSetup->setEnabled(false);
    m_buttonClose->setEnabled(true);
    m_name->setFocus();
}

void patientInfo::editPatient()
{
    setFieldsEnabled(true);
    // The fiscal code identifies the patient's sessions: it cannot change.
    m_cf->setEnabled(false);
    m_editing = true;
    showOnly({m_buttonSave, m_buttonClose});
    m_buttonSave->setEnabled(true);
    m_buttonClose->setEnabled(true);
    m_name->setFocus();
}

void patientInfo::checkAllFilled()
{
    bool ok = true;
    for (QLineEdit *e : {m_name, m_surname, m_cf, m_height, m_weight})
        ok = ok && !e->text().isEmpty();
    ok = ok && m_sexGroup->checkedId() != -1 && fiscalCodeMatches();

    // Only a whole number in range passes: the validator calls 251 to 999 "intermediate", since
    // they could still be edited into range, and such a value must not be saved.
    auto inRange = [this](const QLineEdit *e) {
        QString text = e->text();
        int position = 0;
        return m_sizeValidator->validate(text, position) == QValidator::Acceptable;
    };
    const bool enable = m_cf->text().size() == 16 && ok && inRange(m_height) && inRange(m_weight);
    m_buttonSave->setEnabled(enable);
    m_buttonSaveSetup->setEnabled(enable);
}

bool patientInfo::fiscalCodeMatches() const
{
    return ::fiscalCodeMatches(m_cf->text(), m_surname->text(), m_name->text(), m_birth->date(),
                               m_female->isChecked());
}

PatientRecord patientInfo::toRecord() const
{
    PatientRecord r;
    r.fiscalCode = utf8(m_cf->text().toUpper());
    r.name = utf8(capitalised(m_name->text()));
    r.surname = utf8(capitalised(m_surname->text()));
    r.weight = uint8_t(m_weight->text().toInt());
    r.height = uint8_t(m_height->text().toInt());
    r.birthDate = QDateTime(m_birth->date(), QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
    // Id 0 is the female button; with none checked the patient counts as male.
    r.isMale = m_sexGroup->checkedId() != 0;
    r.archived = false;
    r.status = "FREE";
    r.note = utf8(m_note->toPlainText());
    r.id = 0;
    return r;
}

void patientInfo::showPatient(const PatientRecord &p)
{
    {
        // One check once everything is in place, not one per field on half-filled data.
        const QSignalBlocker blockers[] = {QSignalBlocker(m_name),   QSignalBlocker(m_surname),
                                           QSignalBlocker(m_cf),     QSignalBlocker(m_weight),
                                           QSignalBlocker(m_height), QSignalBlocker(m_birth),
                                           QSignalBlocker(m_note)};
        m_name->setText(QString::fromStdString(p.name));
        m_surname->setText(QString::fromStdString(p.surname));
        m_cf->setText(QString::fromStdString(p.fiscalCode));
        m_weight->setText(QString::number(p.weight));
        m_height->setText(QString::number(p.height));
        (p.isMale ? m_male : m_female)->setChecked(true);
        m_birth->setDate(QDateTime::fromSecsSinceEpoch(p.birthDate, Qt::UTC).date());
        m_note->setPlainText(QString::fromStdString(p.note));
    }
    checkAllFilled();
}

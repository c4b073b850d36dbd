#pragma once

#include "db/Records.h"

#include <QWidget>

#include <initializer_list>

class QButtonGroup;
class QDateEdit;
class QIntValidator;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTextEdit;

// The patient details form of the patient page. Three modes: viewing a patient (read only),
// editing it (everything but the fiscal code) and entering a new one. The save buttons are
// enabled only while every field is filled, weight and height are 0 to 250 and the fiscal code
// agrees with the surname, name, birth date and sex.
class patientInfo : public QWidget
{
    Q_OBJECT
public:
    explicit patientInfo(QWidget *parent = nullptr);

    QPushButton *buttonSave() const { return m_buttonSave; }
    QPushButton *buttonEdit() const { return m_buttonEdit; }
    QPushButton *buttonClose() const { return m_buttonClose; }
    QPushButton *buttonSaveSetup() const { return m_buttonSaveSetup; }
    QPushButton *buttonSetup() const { return m_buttonSetup; }

    // Fills the fields from a stored patient; the mode is left as it is.
    void showPatient(const PatientRecord &p);
    // The fields as a new patient: id 0, status "FREE", not archived (the caller supplies id and
    // status of an existing one).
    PatientRecord toRecord() const;
    // The fiscal code check on the fields as they stand.
    bool fiscalCodeMatches() const;
    bool isEditing() const { return m_editing; }

    // Read only, with only the edit button offered.
    void setViewingMode();
    // Empty and read only, no buttons: nobody is shown.
    void clear();

public slots:
    void addNewPatient();
    void editPatient();
    void checkAllFilled();
    void patientViewSelected(int index);

private:
    void clearFields();
    void setFieldsEnabled(bool enabled);
    // Shows exactly `shown`, hides the other buttons.
    void showOnly(std::initializer_list<QPushButton *> shown);
    QList<QWidget *> fields() const;

    QLineEdit *m_name;
    QLineEdit *m_surname;
    QLineEdit *m_cf;
    QLineEdit *m_weight;
    QLineEdit *m_height;
    QDateEdit *m_birth;
    QRadioButton *m_female;
    QRadioButton *m_male;
    QButtonGroup *m_sexGroup;
    QTextEdit *m_note;
    QIntValidator *m_sizeValidator; // weight and height, 0 to 250
    QPushButton *m_buttonSave;
    QPushButton *m_buttonEdit;
    QPushButton *m_buttonClose;
    QPushButton *m_buttonSaveSetup;
    QPushButton *m_buttonSetup;
    bool m_editing = false;
};

#pragma once

#include <QDialog>
#include <QString>

class QPushButton;

// The add-event chooser: one button per kind of event, the first nine also on the digit keys 1 to
// 9. Choosing a kind records its event code and closes the dialog; "Annulla", Escape or closing it
// leaves the code empty. The review window runs it modally and reads chosenCode().
class Dialog : public QDialog
{
    Q_OBJECT
public:
    explicit Dialog(QWidget *parent = nullptr);

    QString chosenCode() const { return m_chosenCode; }
    // The button that chooses a code, null for a code the dialog does not offer.
    QPushButton *buttonFor(const QString &code) const;

signals:
    // The code chosen, and whether that kind of event lasts (its start and end are then picked on
    // the plots) rather than being an instant.
    void newEcgEvent(QString code, bool lasting);

public slots:
    void newEcgEvent(QString code);

    void BEVButtonPressed();
    void BESVButtonPressed();
    void PAUSAButtonPressed();
    void COPPIAButtonPressed();
    void TRIPLAButtonPressed();
    void RonTButtonPressed();
    void RRButtonPressed();
    void FCMAXbuttonClicked();
    void FCMINbuttonClicked();
    void VTButtonPressed();
    void SVTButtonPressed();
    void BRADICARDIAButtonPressed();
    void BIGEMINIAButtonPressed();
    void TRIGEMINIAButtonPressed();
    void STButtonPressed();
    void APNCbuttonPressed();
    void APNOSTbuttonPressed();
    void IPOPNbuttonPressed();
    void DESATbuttonPressed();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QString m_chosenCode;
};

#include "review/Dialog.h"

#include "review/data/ReviewEvents.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

struct Kind {
    const char *button;
    const char *text;
    void (Dialog::*slot)();
    const char *code;
    int row; // 0 numbered, 1 rhythm, 2 respiratory and oximetry
};

// In order: the nine on the digit keys 1 to 9 first.
const Kind kinds[] = {
    {"buttonVEB", "BEV (1)", &Dialog::BEVButtonPressed, "V", 0},
    {"buttonSVEB", "BESV (2)", &Dialog::BESVButtonPressed, "S", 0},
    {"buttonPause", "Pausa (3)", &Dialog::PAUSAButtonPressed, "P", 0},
    {"buttonCouplet", "COPPIA (4)", &Dialog::COPPIAButtonPressed, "COUPLET", 0},
    {"buttonTriple", "TRIPLA (5)", &Dialog::TRIPLAButtonPressed, "TRIPLET", 0},
    {"buttonRonT", "R su T (6)", &Dialog::RonTButtonPressed, "RONT", 0},
    {"buttonRRLong", "RR lungo (7)", &Dialog::RRButtonPressed, "RRLONG", 0},
    {"buttonFCMax", "FC Max (8)", &Dialog::FCMAXbuttonClicked, "FCMAX", 0},
    {"buttonFcMin", "FC Min(9)", &Dialog::FCMINbuttonClicked, "FCMIN", 0},
    {"buttonVT", "VT", &Dialog::VTButtonPressed, "VT", 1},
    {"buttonSVT", "SVT", &Dialog::SVTButtonPressed, "SVT", 1},
    {"buttonBradicardia", "Bradicardia", &Dialog::BRADICARDIAButtonPressed, "SBR", 1},
    {"buttonBigeminia", "Bigeminia", &Dialog::BIGEMINIAButtonPressed, "B", 1},
    {"buttonTrigeminia", "Trigeminia", &Dialog::TRIGEMINIAButtonPressed, "T", 1},
    {"buttonST", "ST", &Dialog::STButtonPressed, "ST", 1},
    {"buttonApnCentral", "APNEA CENTRALE", &Dialog::APNCbuttonPressed, "APNC", 2},
    {"buttonApnOst", "APNEA OSTRUTTIVA", &Dialog::APNOSTbuttonPressed, "APNO", 2},
    {"buttonIpoPn", "IPOPNEA", &Dialog::IPOPNbuttonPressed, "IPO", 2},
    {"buttonDes", "DESATURAZIONE", &Dialog::DESATbuttonPressed, "DESAT", 2},
};
constexpr int DigitKeys = 9;

} // namespace

Dialog::Dialog(QWidget *parent) : QDialog(parent)
{
    setObjectName("Dialog");
    setWindowTitle("Dialog");
    resize(806, 300);
    auto *verticalLayout = new QVBoxLayout(this);
    verticalLayout->setObjectName("verticalLayout");
    auto *textLabel = new QLabel("Aggiungi evento");
    textLabel->setObjectName("textLabel");
    verticalLayout->addWidget(textLabel);

    const char *frameNames[3] = {"frame", "frame_2", "frame_4"};
    const char *layoutNames[3] = {"horizontalLayout", "horizontalLayout_2", "horizontalLayout_3"};
    QHBoxLayout *rows[3];
    for (int row = 0; row < 3; ++row) {
        auto *frame = new QFrame;
        frame->setObjectName(frameNames[row]);
        frame->setFrameShape(QFrame::StyledPanel);
        rows[row] = new QHBoxLayout(frame);
        rows[row]->setObjectName(layoutNames[row]);
        verticalLayout->addWidget(frame);
    }
    for (const Kind &kind : kinds) {
        auto *button = new QPushButton(QString::fromUtf8(kind.text));
        button->setObjectName(kind.button);
        // The keys belong to the dialog: no button takes Return or Space for itself.
        button->setAutoDefault(false);
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QPushButton::clicked, this, kind.slot);
        rows[kind.row]->addWidget(button);
    }
    auto *cancelButton = new QPushButton("Annulla");
    cancelButton->setObjectName("cancelButton");
    cancelButton->setAutoDefault(false);
    cancelButton->setFocusPolicy(Qt::NoFocus);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::close);
    verticalLayout->addWidget(cancelButton);
    m_chosenCode = QString();
}

QPushButton *Dialog::buttonFor(const QString &code) const
{
    for (const Kind &kind : kinds) {
        if (code == QLatin1String(kind.code))
            return findChild<QPushButton *>(kind.button);
    }
    return nullptr;
}

void Dialog::newEcgEvent(QString code)
{
    m_chosenCode = code;
    // The kinds without a duration are an instant (one click) or a heart rate; the others last
    // from a picked start to a picked end.
    emit newEcgEvent(code, !addedWithoutDuration(code));
    close();
}

void Dialog::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if (key >= Qt::Key_1 && key < Qt::Key_1 + DigitKeys) {
        (this->*kinds[key - Qt::Key_1].slot)();
        return;
    }
    if (key == Qt::Key_Escape) {
        close();
        return;
    }
    event->ignore();
}

void Dialog::BEVButtonPressed() { newEcgEvent(QStringLiteral("V")); }
void Dialog::BESVButtonPressed() { newEcgEvent(QStringLiteral("S")); }
void Dialog::PAUSAButtonPressed() { newEcgEvent(QStringLiteral("P")); }
void Dialog::COPPIAButtonPressed() { newEcgEvent(QStringLiteral("COUPLET")); }
void Dialog::TRIPLAButtonPressed() { newEcgEvent(QStringLiteral("TRIPLET")); }
void Dialog::RonTButtonPressed() { newEcgEvent(QStringLiteral("RONT")); }
void Dialog::RRButtonPressed() { newEcgEvent(QStringLiteral("RRLONG")); }
void Dialog::FCMAXbuttonClicked() { newEcgEvent(QStringLiteral("FCMAX")); }
void Dialog::FCMINbuttonClicked() { newEcgEvent(QStringLiteral("FCMIN")); }
void Dialog::VTButtonPressed() { newEcgEvent(QStringLiteral("VT")); }
void Dialog::SVTButtonPressed() { newEcgEvent(QStringLiteral("SVT")); }
void Dialog::BRADICARDIAButtonPressed() { newEcgEvent(QStringLiteral("SBR")); }
void Dialog::BIGEMINIAButtonPressed() { newEcgEvent(QStringLiteral("B")); }
void Dialog::TRIGEMINIAButtonPressed() { newEcgEvent(QStringLiteral("T")); }
void Dialog::STButtonPressed() { newEcgEvent(QStringLiteral("ST")); }
void Dialog::APNCbuttonPressed() { newEcgEvent(QStringLiteral("APNC")); }
void Dialog::APNOSTbuttonPressed() { newEcgEvent(QStringLiteral("APNO")); }
void Dialog::IPOPNbuttonPressed() { newEcgEvent(QStringLiteral("IPO")); }
void Dialog::DESATbuttonPressed() { newEcgEvent(QStringLiteral("DESAT")); }

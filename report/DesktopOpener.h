#pragma once

#include <QString>

// Opening a file with the program the desktop associates with it (the PDF viewer for the report).
// Behind this interface so that tests never start a viewer and can have none found.
class DesktopOpener
{
public:
    virtual ~DesktopOpener() = default;
    // False when no program took the file.
    virtual bool openFile(const QString &path) = 0;
};

// The desktop's own association, through Qt's desktop services.
class SystemDesktopOpener : public DesktopOpener
{
public:
    bool openFile(const QString &path) override;
};

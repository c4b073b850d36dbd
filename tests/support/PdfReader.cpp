#include "tests/support/PdfReader.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QRegularExpression>

namespace {

bool run(const QString &program, const QStringList &args, QString *out, QString *error)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *error = program + " failed: " + QString::fromUtf8(process.readAllStandardError());
        return false;
    }
    *out = QString::fromUtf8(process.readAllStandardOutput());
    return true;
}

} // namespace

QStringList PdfFacts::wordsAfter(const QString &label, int count, int from) const
{
    return wordsAfter(QRegularExpression(QRegularExpression::escape(label)), count, from);
}

QStringList PdfFacts::wordsAfter(const QRegularExpression &label, int count, int from) const
{
    const QRegularExpressionMatch match = label.match(text, from);
    if (!match.hasMatch())
        return {};
    const int start = match.capturedEnd();
    const int end = text.indexOf(QLatin1Char('\n'), start);
    const QString rest = text.mid(start, end < 0 ? -1 : end - start);
    return rest.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts).mid(0, count);
}

PdfFacts readPdf(const QString &path)
{
    PdfFacts facts;
    QString info;
    if (!run("pdfinfo", {path}, &info, &facts.error))
        return facts;
    const QRegularExpressionMatch pages = QRegularExpression("^Pages:\\s+(\\d+)", QRegularExpression::MultilineOption)
                                              .match(info);
    const QRegularExpressionMatch size =
        QRegularExpression("^Page size:\\s+([\\d.]+) x ([\\d.]+) pts", QRegularExpression::MultilineOption).match(info);
    if (!pages.hasMatch() || !size.hasMatch()) {
        facts.error = "pdfinfo gave no page count or size:\n" + info;
        return facts;
    }
    facts.pages = pages.captured(1).toInt();
    facts.pageSize = QSizeF(size.captured(1).toDouble(), size.captured(2).toDouble());
    QString images;
    if (!run("pdftotext", {"-layout", path, "-"}, &facts.text, &facts.error)
        || !run("pdfimages", {"-list", path}, &images, &facts.error))
        return facts;
    for (const QString &line : images.split('\n')) { // page num type width height ... x-ppi y-ppi size ratio
        const QStringList f = line.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
        if (f.size() >= 14 && f[2] == "image")
            facts.images.append({QSize(f[3].toInt(), f[4].toInt()), f[12].toDouble(), f[13].toDouble()});
    }
    facts.ok = true;
    return facts;
}

QImage renderPdfPage(const QString &path, int page, int dpi)
{
    QTemporaryDir dir;
    QString out, error;
    const QString prefix = dir.filePath("page");
    const QString number = QString::number(page);
    if (!run("pdftoppm", {"-png", "-r", QString::number(dpi), "-f", number, "-l", number, "-singlefile", path, prefix},
             &out, &error))
        return QImage();
    return QImage(prefix + ".png");
}

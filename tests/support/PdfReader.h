#pragma once

#include <QImage>
#include <QRegularExpression>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QVector>

// An image of a PDF: its pixels and its resolution as placed on the page.
struct PdfImage { QSize pixels; double xPpi, yPpi; };

// A PDF file read back with poppler's command-line tools, as a reader of the report would see it.
struct PdfFacts
{
    bool ok = false;   // pdfinfo read the file
    int pages = 0;
    QSizeF pageSize;   // points, of the first page
    QString text;      // pdftotext -layout, pages separated by form feeds
    QString error;
    QVector<PdfImage> images = {}; // pdfimages -list

    QStringList pageTexts() const { return text.split(QLatin1Char('\f')); }
    // The whitespace-separated words after `label` on the first line holding it (from character
    // `from` on), up to `count`.
    QStringList wordsAfter(const QString &label, int count, int from = 0) const;
    QStringList wordsAfter(const QRegularExpression &label, int count, int from = 0) const;
};

PdfFacts readPdf(const QString &path);

// One page (from 1) rendered by pdftoppm at `dpi`; a null image when it failed.
QImage renderPdfPage(const QString &path, int page, int dpi);

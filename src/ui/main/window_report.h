#pragma once

#include <QString>
#include <string>

class QDate;
class QWidget;

// "Report…" of the main window: the commissioning report of the window's site, written the way
// `ipscanner-cli report` writes it. Every listed device is asked for its settings (the batch
// static configuration request) on a worker thread while a wait dialog counts the answers; then
// the record is written out, the report built and the PDF written, still off the UI thread. A
// note in the window names the file; an error comes in a message box. The PDF's own texts are
// in the window's language.

// "ipscanner-report-SITE-YYYY-MM-DD.pdf"
QString ProposedReportName(const std::string& site, const QDate& day);
QString ReportFileFilter();
// A chosen name without an extension gets ".pdf".
QString ReportPathOf(const QString& chosen);

// Writes the report to `path`; true when it was written.
bool WriteWindowReport(QWidget* window, const QString& path);

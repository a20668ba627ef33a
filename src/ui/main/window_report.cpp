#include "ui/main/window_report.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QWidget>

#include "core/batch/settings_survey.h"
#include "core/common/op_clock.h"
#include "core/control/control.h"
#include "record/site_paths.h"
#include "report/report_job.h"
#include "shell/global_utils.h"
#include "shell/log.h"
#include "ui/framework/message_box.h"
#include "ui/framework/translate_manager.h"
#include "ui/framework/wait_dlg.h"
#include "ui/framework/window_note.h"
#include "ui/main/window_site_record.h"

QString ProposedReportName(const std::string& site, const QDate& day) {
  return QStringLiteral("ipscanner-report-%1-%2.pdf")
      .arg(QString::fromStdString(site), day.toString(Qt::ISODate));
}

QString ReportFileFilter() {
  return TrText(QStringLiteral("PDF Files (*.pdf)")) + QStringLiteral(";;") +
         TrText(QStringLiteral("All Files (*)"));
}

QString ReportPathOf(const QString& chosen) {
  if (chosen.isEmpty() || !QFileInfo(chosen).suffix().isEmpty()) return chosen;
  return chosen + QStringLiteral(".pdf");
}

namespace {

// The PDF's own texts in the window's language (the command line writes them in English). Runs
// on the worker thread: it only reads the catalog, which changes only from the settings dialog,
// and that cannot open while the wait dialog is up.
std::string ReportInLanguage(const std::string& english) {
  return TrText(QString::fromStdString(english)).toStdString();
}

}  // namespace

bool WriteWindowReport(QWidget* window, const QString& path) {
  CControl* control = CControl::GetInstance();
  CWindowSiteRecord* record = CWindowSiteRecord::Current();
  REPORT_PLACE_T place;
  place.site = record ? record->SiteName() : ReadSiteSetting();
  place.adapter = CGlobalUtils::ReadInterfaceSetting();
  place.subnet = CaptureSubnetsText();
  const std::vector<DEVICE_ENTRY_T> table = control->GetDeviceList();
  const std::string pdfPath = QFile::encodeName(path).toStdString();

  REPORT_JOB_RESULT_T result;
  {
    CWaitDlg wait(window);
    wait.SetMessage(TrText(QStringLiteral("Reading the settings of the devices. Please wait...")));
    wait.EnableProgress(!table.empty());
    wait.Run([&] {
      CSettingsSurvey survey(table);
      survey.Run(*control, SteadyOpClock(), CSettingsSurvey::kDefaultLimit,
                 [&wait](size_t answered, size_t total) {
                   wait.SetProgress(static_cast<long>(answered), static_cast<long>(total));
                 });
      // What the window queued (problems, operations, answers) goes in before the record is read.
      if (record) record->Flush();
      result = WriteCommissioningReport(SiteDatabasePath(place.site), place, table,
                                        survey.Answers(), pdfPath, "", ReportInLanguage);
    });
  }
  if (!result.warning.empty()) LogError("WriteWindowReport: %s", result.warning.c_str());
  if (!result.written) {
    LogError("WriteWindowReport: %s", result.error.c_str());
    ShowMessageBox(window, QStringLiteral("Report"),
                   TrText(QStringLiteral("The report could not be written: %1"))
                       .arg(QString::fromStdString(result.error)),
                   MB_OK);
    return false;
  }
  ShowWindowNote(window, TrText(QStringLiteral("The commissioning report was saved to %1."))
                             .arg(QDir::toNativeSeparators(path)));
  return true;
}

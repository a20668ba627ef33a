#include "report/report_pdf.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>
#include <vector>

#include "report/report_device_columns.h"

namespace {

// A4 landscape in points.
constexpr double kPageWidth = 842;
constexpr double kPageHeight = 595;
constexpr double kMargin = 36;
constexpr double kBodyBottom = kPageHeight - 40;  // the footer sits below
constexpr double kRowHeight = 13;
constexpr double kCellPad = 3;
constexpr const char* kFontFamily = "DejaVu Sans";

struct Column {
  const char* title;
  double width;
};

// The device table's columns: report_device_columns.h, shared with the CSV.
const auto kDeviceColumns = [] {
  std::array<Column, kReportDeviceColumnCount> columns{};
  for (size_t c = 0; c < kReportDeviceColumnCount; ++c)
    columns[c] = {kReportDeviceColumns[c].title, kReportDeviceColumns[c].width};
  return columns;
}();
constexpr Column kOperationColumns[] = {{"When", 84},        {"Operation", 58}, {"From", 44},
                                        {"Parameters", 280}, {"Device", 100},   {"Result", 50},
                                        {"Detail", 154}};

cairo_status_t DiscardBytes(void*, const unsigned char*, unsigned int) {
  return CAIRO_STATUS_SUCCESS;
}

// One pass over the document: the first counts the pages (drawn into nothing), the second draws
// them with "Page N of M".
class CReportPainter {
public:
  CReportPainter(cairo_t* cr, const REPORT_T& report, const ReportTranslator& tr, int totalPages)
      : m_cr(cr), m_report(report), m_tr(tr), m_totalPages(totalPages) {}

  void Paint() {
    Cover();
    NextPage();
    Summary();
    NextPage();
    DeviceTable();
    NextPage();
    OperationsLog();
    Footer();
    cairo_show_page(m_cr);
  }
  int Pages() const { return m_page; }

private:
  std::string T(const std::string& english) const { return m_tr ? m_tr(english) : english; }

  void Font(double size, bool bold = false) {
    cairo_select_font_face(m_cr, kFontFamily, CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(m_cr, size);
  }
  double Width(const std::string& text) {
    cairo_text_extents_t extents;
    cairo_text_extents(m_cr, text.c_str(), &extents);
    return extents.x_advance;
  }
  void Text(double x, double y, const std::string& text) {
    cairo_move_to(m_cr, x, y);
    cairo_show_text(m_cr, text.c_str());
  }
  // The text cut with "…" to fit the width.
  void TextIn(double x, double y, const std::string& raw, double width) {
    std::string text = ReportSafeText(raw);
    if (Width(text) > width) {
      while (!text.empty() && Width(text + "…") > width) {
        text.pop_back();
        while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80)
          text.pop_back();
        if (!text.empty() && static_cast<unsigned char>(text.back()) >= 0xC0) text.pop_back();
      }
      text += "…";
    }
    Text(x, y, text);
  }
  void Gray(double level) { cairo_set_source_rgb(m_cr, level, level, level); }
  void Fill(double x, double y, double w, double h, double r, double g, double b) {
    cairo_set_source_rgb(m_cr, r, g, b);
    cairo_rectangle(m_cr, x, y, w, h);
    cairo_fill(m_cr);
    Gray(0);
  }

  void Footer() {
    Font(8);
    Gray(0.35);
    Text(kMargin, kPageHeight - 20,
         ReportSafeText("IPScanner " + m_report.version + " · " + T("Commissioning report") +
                        " · " + T("Site") + " " + m_report.site));
    const std::string page = T("Page") + " " + std::to_string(m_page) + " " + T("of") + " " +
                             std::to_string(std::max(m_totalPages, m_page));
    Text(kPageWidth - kMargin - Width(page), kPageHeight - 20, page);
    Gray(0);
  }
  void NextPage() {
    Footer();
    cairo_show_page(m_cr);
    ++m_page;
  }
  double Heading(const std::string& text) {
    Font(16, true);
    Text(kMargin, kMargin + 14, text);
    return kMargin + 34;
  }

  void Cover() {
    Fill(0, 0, kPageWidth, 8, 0.13, 0.36, 0.60);
    Font(28, true);
    Text(kMargin, 150, T("Commissioning report"));
    Font(18);
    TextIn(kMargin, 185, T("Site") + ": " + m_report.site, kPageWidth - 2 * kMargin);
    const std::string period = m_report.since == 0
                                   ? T("everything recorded")
                                   : T("since") + " " + ReportTimeText(m_report.since);
    const std::pair<std::string, std::string> rows[] = {
        {T("Date"), ReportTimeText(m_report.created)},
        {T("Computer"), m_report.computer},
        {T("Adapter"), m_report.adapter},
        {T("Subnet"), m_report.subnet},
        {T("Devices"), std::to_string(m_report.devices.size())},
        {T("Operations log"), period},
        {T("Program version"), "IPScanner " + m_report.version},
    };
    // The labels' column as wide as the longest label of the language (up to a third of the page).
    Font(12, true);
    double labels = 150;
    for (const auto& row : rows) labels = std::max(labels, Width(row.first));
    labels = std::min(labels, (kPageWidth - 2 * kMargin) / 3);
    double y = 250;
    for (const auto& [label, value] : rows) {
      Font(12, true);
      TextIn(kMargin, y, label, labels);
      Font(12);
      TextIn(kMargin + labels + 10, y, value, kPageWidth - 2 * kMargin - labels - 10);
      y += 22;
    }
  }

  void Summary() {
    double y = Heading(T("Summary"));
    const auto perModel = DevicesPerModel(m_report.devices);
    // Left: counts.
    Font(10, true);
    Text(kMargin, y, T("Model"));
    Text(kMargin + 200, y, T("Devices"));
    y += 4;
    Gray(0.6);
    cairo_rectangle(m_cr, kMargin, y, 250, 0.6);
    cairo_fill(m_cr);
    Gray(0);
    y += kRowHeight;
    Font(10);
    size_t shown = 0;
    for (const auto& [model, count] : perModel) {
      if (y > 300) {
        TextIn(kMargin, y, "… " + std::to_string(perModel.size() - shown) + " " + T("more models"),
               250);
        y += kRowHeight;
        break;
      }
      TextIn(kMargin, y, model, 190);
      Text(kMargin + 200, y, std::to_string(count));
      y += kRowHeight;
      ++shown;
    }
    y += 10;
    const size_t dhcp = CountMode(m_report.devices, "dhcp");
    const size_t fixed = CountMode(m_report.devices, "static");
    const size_t answered =
        static_cast<size_t>(std::count_if(m_report.devices.begin(), m_report.devices.end(),
                                          [](const REPORT_DEVICE_T& d) { return d.answered; }));
    const std::pair<std::string, size_t> totals[] = {
        {T("Devices"), m_report.devices.size()},
        {T("DHCP"), dhcp},
        {T("Static"), fixed},
        {T("Mode not known"), m_report.devices.size() - dhcp - fixed},
        {T("Did not answer"), m_report.devices.size() - answered},
        {T("Open problems"), m_report.problems.size()},
    };
    for (const auto& [label, count] : totals) {
      Font(10, true);
      TextIn(kMargin, y, label, 190);
      Font(10);
      Text(kMargin + 200, y, std::to_string(count));
      y += kRowHeight;
    }
    y += 12;
    Font(12, true);
    Text(kMargin, y, T("Open problems"));
    y += 16;
    Font(9);
    if (m_report.problems.empty()) {
      Text(kMargin, y, T("None"));
    }
    for (size_t i = 0; i < m_report.problems.size(); ++i) {
      if (y > kBodyBottom - kRowHeight) {
        TextIn(kMargin, y, "… " + std::to_string(m_report.problems.size() - i) + " " + T("more"),
               330);
        break;
      }
      const SITE_OPEN_PROBLEM_T& p = m_report.problems[i];
      TextIn(kMargin, y, p.mac + "  " + p.code + "  " + p.value, 330);
      y += 12;
    }
    FirmwareChart(kMargin + 380, kMargin + 34, kPageWidth - kMargin - (kMargin + 380));
  }

  // Horizontal bars, one per model and firmware, grouped by model; lengths against the largest.
  // What does not fit beside the summary goes on to the next pages, over the whole width.
  void FirmwareChart(double x, double top, double width) {
    Font(12, true);
    Text(x, top, T("Firmware versions per model"));
    const auto perModel = FirmwarePerModel(m_report.devices);
    size_t largest = 1;
    for (const auto& [model, versions] : perModel)
      for (const auto& [version, count] : versions) largest = std::max(largest, count);
    const double colors[][3] = {{0.13, 0.36, 0.60},
                                {0.85, 0.45, 0.10},
                                {0.20, 0.55, 0.30},
                                {0.60, 0.25, 0.55},
                                {0.45, 0.45, 0.45}};
    double y = top + 20;
    auto room = [&](double needed) {
      if (y + needed <= kBodyBottom) return;
      NextPage();
      y = Heading(T("Firmware versions per model") + " (" + T("continued") + ")");
      x = kMargin;
      width = kPageWidth - 2 * kMargin;
    };
    size_t modelIndex = 0;
    for (const auto& [model, versions] : perModel) {
      room(24);
      Font(9, true);
      TextIn(x, y, model, width);
      y += 12;
      const double* c = colors[modelIndex++ % std::size(colors)];
      for (const auto& [version, count] : versions) {
        room(12);
        const double labelWidth = 150;
        const double barSpace = width - labelWidth - 30;
        Font(8);
        TextIn(x + 8, y, version, labelWidth - 12);
        const double length = std::max(1.0, barSpace * static_cast<double>(count) / largest);
        Fill(x + labelWidth, y - 8, length, 9, c[0], c[1], c[2]);
        Text(x + labelWidth + length + 4, y, std::to_string(count));
        y += 12;
      }
      y += 4;
    }
  }

  template <class Columns>
  double TableHeader(const std::string& title, const Columns& columns, bool continued) {
    double y = Heading(title + (continued ? " (" + T("continued") + ")" : ""));
    double total = 0;
    for (const Column& c : columns) total += c.width;
    Fill(kMargin, y - 10, total, kRowHeight + 1, 0.85, 0.88, 0.92);
    Font(8, true);
    double x = kMargin;
    for (const Column& c : columns) {
      TextIn(x + kCellPad, y, T(c.title), c.width - 2 * kCellPad);
      x += c.width;
    }
    return y + kRowHeight + 1;
  }

  template <class Columns, size_t N>
  void Row(double y, const Columns& columns, const std::string (&cells)[N], bool shaded,
           bool alert = false) {
    if (shaded) {
      double total = 0;
      for (const Column& c : columns) total += c.width;
      Fill(kMargin, y - 9.5, total, kRowHeight, 0.96, 0.96, 0.96);
    }
    if (alert) cairo_set_source_rgb(m_cr, 0.7, 0.1, 0.1);
    Font(8);
    double x = kMargin;
    for (size_t i = 0; i < N; ++i) {
      TextIn(x + kCellPad, y, cells[i], columns[i].width - 2 * kCellPad);
      x += columns[i].width;
    }
    Gray(0);
  }

  void DeviceTable() {
    double y = TableHeader(T("Devices"), kDeviceColumns, false);
    size_t index = 0;
    for (const REPORT_DEVICE_T& d : m_report.devices) {
      if (y > kBodyBottom) {
        NextPage();
        y = TableHeader(T("Devices"), kDeviceColumns, true);
      }
      std::string cells[kReportDeviceColumnCount];
      for (size_t c = 0; c < kReportDeviceColumnCount; ++c) {
        cells[c] = ReportDeviceCell(d, c, ReportCellForm::kPeople);
        // The status is a word of the report's language; the others are the device's own.
        if (std::string(kReportDeviceColumns[c].key) == "status") cells[c] = T(cells[c]);
      }
      Row(y, kDeviceColumns, cells, index++ % 2 == 1, !d.answered);
      y += kRowHeight;
    }
    if (m_report.devices.empty()) {
      Font(9);
      Text(kMargin, y, T("No device is recorded for this site."));
    }
  }

  static std::string ParametersText(const std::string& json) {
    const nlohmann::json parsed = nlohmann::json::parse(json, nullptr, false);
    if (!parsed.is_object()) return json;
    std::string text;
    for (const auto& [key, value] : parsed.items()) {
      const std::string shown = value.is_string() ? value.get<std::string>() : value.dump();
      if (shown.empty()) continue;
      if (!text.empty()) text += ", ";
      text += key + "=" + shown;
    }
    return text;
  }

  // The text in lines that fit the width, broken after ", " where possible.
  std::vector<std::string> Wrap(const std::string& raw, double width) {
    Font(8);
    const std::string text = ReportSafeText(raw, 2048);
    std::vector<std::string> lines;
    std::string line;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find(", ", start);
      end = end == std::string::npos ? text.size() : end + 2;
      const std::string piece = text.substr(start, end - start);
      if (!line.empty() && Width(line + piece) > width) {
        lines.push_back(line);
        line.clear();
      }
      line += piece;
      start = end;
    }
    if (!line.empty() || lines.empty()) lines.push_back(line);
    return lines;
  }

  void OperationsLog() {
    const std::string title =
        T("Operations") +
        (m_report.since == 0 ? "" : " " + T("since") + " " + ReportTimeText(m_report.since));
    double y = TableHeader(title, kOperationColumns, false);
    size_t index = 0;
    for (const SITE_OPERATION_ROW_T& op : m_report.operations) {
      const std::vector<std::string> parameters =
          Wrap(ParametersText(op.parameters), kOperationColumns[3].width - 2 * kCellPad);
      const size_t lines = std::max(parameters.size(), op.results.size());
      for (size_t i = 0; i < lines; ++i) {
        if (y > kBodyBottom) {
          NextPage();
          y = TableHeader(title, kOperationColumns, true);
        }
        const bool first = i == 0;
        const SITE_OPERATION_RESULT_T* r = i < op.results.size() ? &op.results[i] : nullptr;
        const std::string cells[] = {first ? ReportTimeText(op.time) : "",
                                     first ? op.kind : "",
                                     first ? op.source : "",
                                     i < parameters.size() ? parameters[i] : "",
                                     r ? r->mac : "",
                                     r ? (r->ok ? T("ok") : T("failed")) : "",
                                     r ? r->detail : ""};
        Row(y, kOperationColumns, cells, index % 2 == 1);
        y += kRowHeight;
      }
      ++index;
    }
    if (m_report.operations.empty()) {
      Font(9);
      Text(kMargin, y, T("No operation in this period."));
    }
  }

  cairo_t* m_cr;
  const REPORT_T& m_report;
  const ReportTranslator& m_tr;
  int m_totalPages;
  int m_page = 1;
};

}  // namespace

std::string ReportSafeText(const std::string& text, size_t maxBytes) {
  std::string out;
  size_t i = 0;
  while (i < text.size() && out.size() < maxBytes) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    size_t length = c < 0x80           ? 1
                    : (c >> 5) == 0x6  ? 2
                    : (c >> 4) == 0xE  ? 3
                    : (c >> 3) == 0x1E ? 4
                                       : 0;
    bool valid = length > 0 && i + length <= text.size();
    uint32_t code = length == 1 ? c : length == 2 ? c & 0x1F : length == 3 ? c & 0x0F : c & 0x07;
    for (size_t k = 1; valid && k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are broken sequences too.
    static const uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (valid && (code < kMinimum[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)))
      valid = false;
    if (!valid) {
      if (out.size() + 3 > maxBytes) break;
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    if (code < 0x20 || code == 0x7F || (code >= 0x80 && code < 0xA0)) {
      out += '?';
    } else {
      if (out.size() + length > maxBytes) break;
      out.append(text, i, length);
    }
    i += length;
  }
  return out;
}

bool WriteReportPdf(const REPORT_T& report, const std::string& path, std::string* error,
                    const ReportTranslator& tr) {
  int pages = 0;
  {
    cairo_surface_t* counting =
        cairo_pdf_surface_create_for_stream(DiscardBytes, nullptr, kPageWidth, kPageHeight);
    cairo_t* cr = cairo_create(counting);
    CReportPainter painter(cr, report, tr, 0);
    painter.Paint();
    pages = painter.Pages();
    cairo_destroy(cr);
    cairo_surface_destroy(counting);
  }
  cairo_surface_t* surface = cairo_pdf_surface_create(path.c_str(), kPageWidth, kPageHeight);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    *error = "cannot write " + path + ": " + cairo_status_to_string(cairo_surface_status(surface));
    cairo_surface_destroy(surface);
    return false;
  }
  const std::string title = "Commissioning report " + ReportSafeText(report.site);
  cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE, title.c_str());
  cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATOR,
                                 ("IPScanner " + report.version).c_str());
  cairo_t* cr = cairo_create(surface);
  CReportPainter painter(cr, report, tr, pages);
  painter.Paint();
  cairo_status_t status = cairo_status(cr);
  cairo_destroy(cr);
  cairo_surface_finish(surface);
  if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface);
  cairo_surface_destroy(surface);
  if (status != CAIRO_STATUS_SUCCESS) {
    *error = "writing " + path + " failed: " + cairo_status_to_string(status);
    return false;
  }
  return true;
}

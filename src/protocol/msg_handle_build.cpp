// Request documents: one element per line, TAB indented, CR LF line ends, no XML declaration.
// Values go in verbatim (the devices expect no escaping), except an image's version, which comes
// from a file name and may hold XML's own characters.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "protocol/msg_handle.h"
#include "protocol/payload_envelope.h"
#include "protocol/text_field.h"
#include "shell/log.h"
#include "shell/secure_wipe.h"

namespace {

// Both scratch buffers of a builder: one converted value and one formatted line.
constexpr int kScratchBytes = 1024;

class DocumentWriter {
public:
  DocumentWriter(uint8_t* out, int capacity)
      : out_(reinterpret_cast<char*>(out)), capacity_(capacity) {
    if (capacity_ > 0)
      out_[0] = 0;
    else
      failed_ = true;
  }

  // Converts a record field to UTF-8; the result lives until the next call.
  const char* Value(const char16_t* field, int chars) {
    if (FieldToUtf8(field, chars, value_, kScratchBytes) < 0) {
      failed_ = true;
      value_[0] = 0;
    }
    return value_;
  }
  template <size_t N>
  const char* Value(const char16_t (&field)[N]) {
    return Value(field, static_cast<int>(N));
  }

  // A field converted and made safe as XML text ('&', '<' and '>' as entities): for texts that
  // come from a file name, such as an image's version, which may hold any of them.
  template <size_t N>
  const char* EscapedValue(const char16_t (&field)[N]) {
    const std::string raw = Value(field);
    std::string escaped;
    for (char c : raw) {
      if (c == '&')
        escaped += "&amp;";
      else if (c == '<')
        escaped += "&lt;";
      else if (c == '>')
        escaped += "&gt;";
      else
        escaped += c;
    }
    if (escaped.size() >= kScratchBytes) {
      failed_ = true;
      escaped.clear();
    }
    std::memcpy(value_, escaped.c_str(), escaped.size() + 1);
    return value_;
  }

  // Formats one line and appends it; a line over the scratch size or a document over the
  // capacity (terminator included) marks the document failed and writes nothing more.
  void Line(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    if (failed_) return;
    char line[kScratchBytes];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    if (n < 0 || n >= kScratchBytes || used_ + n + 1 > capacity_) {
      failed_ = true;
      return;
    }
    std::memcpy(out_ + used_, line, n + 1);
    used_ += n;
    SecureWipe(line, static_cast<size_t>(n));  // a line may hold the password
  }

  ~DocumentWriter() { SecureWipe(value_, sizeof(value_)); }
  DocumentWriter(const DocumentWriter&) = delete;
  DocumentWriter& operator=(const DocumentWriter&) = delete;

  bool failed() const { return failed_; }
  int length() const { return used_; }
  const char* text() const { return out_; }

private:
  char* out_;
  int capacity_;
  int used_ = 0;
  bool failed_ = false;
  char value_[kScratchBytes];
};

// Encrypts the finished document in place when asked; reports the payload length.
int Finish(const DocumentWriter& doc, uint8_t* out, int capacity, int* length,
           const std::string& keyText, bool encrypt, bool withPrefix) {
  if (doc.failed()) return -1;
  int n = doc.length();
  if (encrypt && EncryptPayload(out, out, capacity, keyText, &n, withPrefix) != 0) {
    SecureWipe(out, static_cast<size_t>(capacity));  // never leave a plaintext document behind
    return -1;
  }
  *length = n;
  return 0;
}

bool EncryptsFor(int encType) { return encType == kEncTypeBare || encType == kEncTypePrefixed; }

int BuildConfigDocument(const char* type, uint8_t* out, int capacity,
                        const REPORT_CONFIG_T* request, int* length, const std::string& keyText,
                        int encType) {
  if (out == nullptr || request == nullptr || length == nullptr) return -1;
  DocumentWriter doc(out, capacity);
  doc.Line("<%s>\r\n", "Msg");
  doc.Line("\t<%s>%s</%s>\r\n", "Type", type, "Type");
  doc.Line("\t<%s>%s</%s>\r\n", "Protocal", doc.Value(request->szProtocal), "Protocal");
  doc.Line("\t<%s>\r\n", "Params");
  for (int i = 0; i < kConfigItemCount && request->module.szItem[i][0] != 0; ++i) {
    doc.Line("\t\t<%s>%s</%s>\r\n", "Item", doc.Value(request->module.szItem[i]), "Item");
  }
  doc.Line("\t</%s>\r\n", "Params");
  doc.Line("</%s>\r\n", "Msg");
  return Finish(doc, out, capacity, length, keyText, EncryptsFor(encType),
                encType == kEncTypePrefixed);
}

}  // namespace

int CMsgHandle::BuildDiscoverMsg(uint8_t* out, int capacity, const DISCOVER_REQ_T* request,
                                 int* length, int encType) {
  if (out == nullptr || request == nullptr || length == nullptr) return -1;
  if (capacity > 0) std::memset(out, 0, capacity);
  DocumentWriter doc(out, capacity);
  doc.Line("<%s>\r\n", "Msg");
  doc.Line("\t<%s>%s</%s>\r\n", "Type", "Discover", "Type");
  doc.Line("\t<%s>%s</%s>\r\n", "Protocal", doc.Value(request->szProtocal), "Protocal");
  doc.Line("\t<%s>\r\n", "Params");
  doc.Line("\t<%s>%s</%s>\r\n", "Type", doc.Value(request->szType), "Type");
  doc.Line("\t<%s>%s</%s>\r\n", "DeviceID", doc.Value(request->szDeviceID), "DeviceID");
  doc.Line("\t<%s>%s</%s>\r\n", "Extension", doc.Value(request->szExtension), "Extension");
  doc.Line("\t<%s>%s</%s>\r\n", "Flag", doc.Value(request->szFlag), "Flag");
  doc.Line("\t<%s>%.10d</%s>\r\n", "MsgSeq", request->nMsgSeq, "MsgSeq");
  doc.Line("\t<SourceType>%s</SourceType>\r\n", "IPScanner");
  doc.Line("\t</%s>\r\n", "Params");
  doc.Line("</%s>\r\n", "Msg");
  // Discovery is not addressed to one device: it always goes out under the fixed identifier.
  return Finish(doc, out, capacity, length, kDiscoverKeyText, true, encType == kEncTypePrefixed);
}

int CMsgHandle::BuildRequestConfigMsg(uint8_t* out, int capacity, const REPORT_CONFIG_T* request,
                                      int* length, const std::string& keyText, int encType) {
  return BuildConfigDocument("RequestConfig", out, capacity, request, length, keyText, encType);
}

int CMsgHandle::BuildUpdateConfigMsg(uint8_t* out, int capacity, const REPORT_CONFIG_T* request,
                                     int* length, const std::string& keyText, int encType) {
  return BuildConfigDocument("UpdateConfig", out, capacity, request, length, keyText, encType);
}

int CMsgHandle::BuildRequestAuthenticate(uint8_t* out, int capacity,
                                         const AUTHENTICATE_REQ_T* request, int* length,
                                         const std::string& keyText, int encType) {
  if (out == nullptr || request == nullptr || length == nullptr) return -1;
  if (capacity > 0) std::memset(out, 0, capacity);
  DocumentWriter doc(out, capacity);
  doc.Line("<%s>\r\n", "Msg");
  doc.Line("\t<%s>%s</%s>\r\n", "Type", "Authenticate", "Type");
  doc.Line("\t<%s>\r\n", "Params");
  doc.Line("\t<Type>%s</Type>\r\n", request->nUserType == 0 ? "Web" : "");
  doc.Line("\t<User>%s</User>\r\n", doc.Value(request->szUser));
  doc.Line("\t<Pwd>%s</Pwd>\r\n", doc.Value(request->szPwd));
  doc.Line("\t<UUID>%s</UUID>\r\n", doc.Value(request->szUUID));
  doc.Line("\t</%s>\r\n", "Params");
  doc.Line("</%s>\r\n", "Msg");
  // The password is inside: this document is never sent plain.
  return Finish(doc, out, capacity, length, keyText, true, encType == kEncTypePrefixed);
}

int CMsgHandle::BuildUpgradeSendMsg(uint8_t* out, int capacity, const UPGRADE_SEND_T* request,
                                    int* length, const std::string& keyText, int encType) {
  if (out == nullptr || request == nullptr || length == nullptr) return -1;
  DocumentWriter doc(out, capacity);
  doc.Line("<%s>\r\n", "Msg");
  doc.Line("\t<%s>%s</%s>\r\n", "Type", "UpgradeSend", "Type");
  doc.Line("\t<%s>%s</%s>\r\n", "Protocal", doc.Value(request->szProtocal), "Protocal");
  doc.Line("\t<%s>\r\n", "Params");
  doc.Line("\t\t<%s>%s</%s>\r\n", "FirmwareVer", doc.EscapedValue(request->szFirmwareVer),
           "FirmwareVer");
  doc.Line("\t\t<%s>%s</%s>\r\n", "FirmwareUrl", doc.Value(request->szFirmwareUrl), "FirmwareUrl");
  doc.Line("\t</%s>\r\n", "Params");
  doc.Line("</%s>\r\n", "Msg");
  if (!doc.failed()) LogDebug("szText=%s", doc.text());
  return Finish(doc, out, capacity, length, keyText, EncryptsFor(encType),
                encType == kEncTypePrefixed);
}

int CMsgHandle::BuildRemoteControlMsg(uint8_t* out, int capacity, const REMOTE_CONTROL_T* request,
                                      int* length, const std::string& keyText, int encType) {
  if (out == nullptr || request == nullptr || length == nullptr) return -1;
  DocumentWriter doc(out, capacity);
  doc.Line("<%s>\r\n", "Msg");
  doc.Line("\t<%s>%s</%s>\r\n", "Type", doc.Value(request->szType), "Type");
  doc.Line("\t<%s>%s</%s>\r\n", "Protocal", doc.Value(request->szProtocal), "Protocal");
  if (request->szItem[0][0] != 0) {
    doc.Line("\t<%s>\r\n", "Params");
    for (int i = 0; i < kRemoteControlItemCount && request->szItem[i][0] != 0; ++i) {
      doc.Line("\t\t<%s>%s</%s>\r\n", "Item", doc.Value(request->szItem[i]), "Item");
    }
    doc.Line("\t</%s>\r\n", "Params");
  }
  doc.Line("</%s>\r\n", "Msg");
  return Finish(doc, out, capacity, length, keyText, EncryptsFor(encType),
                encType == kEncTypePrefixed);
}

// The firmware upgrade request for any image name. Properties: when the request is built, its
// document is well-formed XML that reads back as the request: a Msg of Type UpgradeSend whose
// Params hold exactly FirmwareVer and FirmwareUrl with the texts of the request's fields.
// Input: the image name's bytes.
#include <tinyxml.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/upgrade/upgrade_request.h"
#include "protocol/msg_handle.h"
#include "protocol/text_field.h"
#include "shell/global_utils.h"

namespace {

// Text without XML white space: the parser may fold it; the structure is what counts here.
std::string Solid(const char* text) {
  std::string out;
  for (const char* c = text ? text : ""; *c; ++c) {
    // What the XML parser may treat as white space (\v and \f too) is not compared.
    if (*c != ' ' && *c != '\t' && *c != '\r' && *c != '\n' && *c != '\v' && *c != '\f') out += *c;
  }
  return out;
}

template <size_t N>
std::string FieldText(const char16_t (&field)[N]) {
  size_t n = 0;
  while (n < N && field[n] != 0) ++n;
  return CGlobalUtils::ToUtf8(std::u16string_view(field, n));
}

const char* ChildText(const TiXmlElement* parent, const char* name) {
  const TiXmlElement* e = parent ? parent->FirstChildElement(name) : nullptr;
  return e ? (e->GetText() ? e->GetText() : "") : nullptr;
}

int Children(const TiXmlElement* parent) {
  int n = 0;
  for (const TiXmlElement* e = parent->FirstChildElement(); e; e = e->NextSiblingElement()) ++n;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string imageName(reinterpret_cast<const char*>(data), size);
  const UPGRADE_SEND_T request = MakeUpgradeRequest("10.213.0.1", imageName);
  static CMsgHandle handle;
  static uint8_t out[8192];
  int length = 0;
  if (handle.BuildUpgradeSendMsg(out, sizeof(out), &request, &length, "", 0) != 0) return 0;

  TiXmlBase::SetCondenseWhiteSpace(false);
  TiXmlDocument doc;
  doc.Parse(std::string(reinterpret_cast<const char*>(out), static_cast<size_t>(length)).c_str());
  if (doc.Error()) std::abort();  // not well-formed
  const TiXmlElement* msg = doc.RootElement();
  if (msg == nullptr || std::strcmp(msg->Value(), "Msg") != 0 || Children(msg) != 3) std::abort();
  const char* type = ChildText(msg, "Type");
  if (type == nullptr || std::strcmp(type, "UpgradeSend") != 0) std::abort();
  const TiXmlElement* params = msg->FirstChildElement("Params");
  if (params == nullptr || Children(params) != 2) std::abort();
  const char* version = ChildText(params, "FirmwareVer");
  const char* url = ChildText(params, "FirmwareUrl");
  if (version == nullptr || url == nullptr) std::abort();
  if (Solid(version) != Solid(FieldText(request.szFirmwareVer).c_str())) std::abort();
  if (Solid(url) != Solid(FieldText(request.szFirmwareUrl).c_str())) std::abort();
  return 0;
}

// Reply documents: <Msg> with Type, Protocal and Params children; the values sit in Params.
#include <tinyxml.h>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "protocol/envelope_key_cache.h"
#include "protocol/msg_handle.h"
#include "protocol/payload_envelope.h"
#include "protocol/text_field.h"
#include "shell/global_utils.h"
#include "shell/log.h"

namespace {

constexpr size_t kUtf8StepSlack = 8;

bool Named(const TiXmlElement* element, const char* name) {
  return std::strcmp(element->Value(), name) == 0;
}

template <size_t N>
void Store(const TiXmlElement* element, char16_t (&field)[N]) {
  Utf8ToField(element->GetText(), field);
}

// The payload's text into *text, decrypted when asked; false when it does not decrypt. The
// payload as it arrived stays untouched. The XML reader steps over a whole UTF-8 sequence once
// it sees a lead byte, so a text that ends in a lead byte would make it step past the
// terminator: zero bytes behind the text stop it there.
bool DecodeText(const uint8_t* payload, int length, std::string_view keyText, bool decrypt,
                std::vector<uint8_t>* text) {
  text->assign(static_cast<size_t>(length) + 1 + kUtf8StepSlack, 0);
  if (decrypt) return DecryptPayload(payload, text->data(), length + 1, keyText, length) == 0;
  if (length > 0) std::memcpy(text->data(), payload, static_cast<size_t>(length));
  return true;
}

// Parses a decoded text into doc; false when it is no document.
bool ParseText(const uint8_t* text, TiXmlDocument* doc) {
  doc->Clear();
  doc->Parse(reinterpret_cast<const char*>(text), nullptr, TIXML_ENCODING_UTF8);
  return !doc->Error() && doc->FirstChild() != nullptr;
}

// Decrypts (when asked) and parses one payload into doc; false when no key gives a document.
bool LoadDocument(const char* operation, const uint8_t* payload, int length,
                  const std::string& keyText, bool decrypt, CMsgHandle* fallback,
                  TiXmlDocument* doc) {
  bool loaded = false;
  if (length >= 0) {
    std::vector<uint8_t> text;  // every attempt works on this copy
    loaded = DecodeText(payload, length, keyText, decrypt, &text) && ParseText(text.data(), doc);
    // Another device's key may fit: the frame's sender is not always the table entry whose key
    // the device uses. These attempts decrypt whatever the payload mode said.
    if (!loaded && fallback != nullptr) {
      loaded = fallback->LoadWithFallbackKeys(payload, length, text.data(),
                                              static_cast<int>(text.size()), doc);
    }
  }
  if (!loaded) LogError("%s:XML LoadBuffer failed.", operation);
  return loaded;
}

// The root must be <Msg>; returns it or null after logging why not.
const TiXmlElement* MsgRoot(const char* operation, const TiXmlDocument& doc) {
  const TiXmlElement* root = doc.RootElement();
  if (root == nullptr) {
    LogError("%s: ROOT Node is NULL", operation);
    return nullptr;
  }
  if (!Named(root, "Msg")) {
    LogError("%s: mismatched %s", operation, "Msg");
    return nullptr;
  }
  return root;
}

// Clears the record, then decrypts and parses the payload; returns the <Msg> root or null.
template <typename Record>
const TiXmlElement* LoadReply(const char* operation, const uint8_t* payload, Record* out,
                              int length, const std::string& keyText, bool decrypt,
                              CMsgHandle* fallback, TiXmlDocument* doc) {
  if (payload == nullptr || out == nullptr) return nullptr;
  std::memset(out, 0, sizeof(*out));
  if (!LoadDocument(operation, payload, length, keyText, decrypt, fallback, doc)) {
    return nullptr;
  }
  return MsgRoot(operation, *doc);
}

// Stores <Protocal> and hands every element inside each <Params> to onParam.
template <size_t N, typename OnParam>
void ReadProtocalAndParams(const TiXmlElement* root, char16_t (&protocal)[N], OnParam onParam) {
  for (const TiXmlElement* child = root->FirstChildElement(); child != nullptr;
       child = child->NextSiblingElement()) {
    if (Named(child, "Protocal")) {
      Store(child, protocal);
    } else if (Named(child, "Params")) {
      for (const TiXmlElement* e = child->FirstChildElement(); e != nullptr;
           e = e->NextSiblingElement()) {
        onParam(e);
      }
    }
  }
}

const std::string& KeyOrDiscoverKey(const std::string& keyText) {
  static const std::string discoverKey = kDiscoverKeyText;
  return keyText.empty() ? discoverKey : keyText;
}

}  // namespace

bool CMsgHandle::LoadWithFallbackKeys(const uint8_t* payload, int length, uint8_t* text,
                                      int textCapacity, TiXmlDocument* doc) {
  if (!AllowFallback()) return false;
  const KeyList keys = FallbackKeys();
  if (keys == nullptr) return false;
  CEnvelopeKeyCache* cache = CEnvelopeKeyCache::GetInstance();
  // Each key costs one block until its first block reads like a document; only then is the
  // payload decrypted whole and parsed. A wrong key now and then yields bytes that the lenient
  // XML reader takes for a document, so only a <Msg> document ends the search.
  // Never more keys than the second's budget has left, however large the table.
  const size_t end = static_cast<size_t>(
      std::min<int64_t>(static_cast<int64_t>(keys->size()), FallbackBudgetLeft()));
  size_t tried = 0;
  bool loaded = false;
  for (size_t i = cache->NextCandidateKey(payload, length, *keys, 0, end); !loaded && i < end;
       i = cache->NextCandidateKey(payload, length, *keys, i + 1, end)) {
    tried = i + 1;
    std::fill(text, text + textCapacity, 0);
    if (DecryptPayload(payload, text, length + 1, (*keys)[i], length) != 0) continue;
    doc->Clear();
    doc->Parse(reinterpret_cast<const char*>(text), nullptr, TIXML_ENCODING_UTF8);
    loaded = !doc->Error() && doc->RootElement() != nullptr && Named(doc->RootElement(), "Msg");
  }
  SpendFallback(loaded ? static_cast<int64_t>(tried) : static_cast<int64_t>(end));
  return loaded;
}

namespace {

constexpr char kDiscoverAckOperation[] = "CMsgHandle::ParseDiscoverAckMsg";

}  // namespace

bool CMsgHandle::DecodeDiscoverAckText(const uint8_t* payload, int length, int mode,
                                       std::vector<uint8_t>* text) {
  const bool decoded = payload != nullptr && text != nullptr && length >= 0 &&
                       DecodeText(payload, length, kDiscoverKeyText, mode >= 2, text);
  if (!decoded) LogError("%s:XML LoadBuffer failed.", kDiscoverAckOperation);
  return decoded;
}

int CMsgHandle::ParseDiscoverAckText(const std::vector<uint8_t>& text, DISCOVER_ACK_T* out) {
  if (out == nullptr) return -1;
  std::memset(out, 0, sizeof(*out));
  TiXmlDocument doc;
  if (text.empty() || !ParseText(text.data(), &doc)) {
    LogError("%s:XML LoadBuffer failed.", kDiscoverAckOperation);
    return -1;
  }
  const TiXmlElement* root = MsgRoot(kDiscoverAckOperation, doc);
  if (root == nullptr) return -1;
  ReadProtocalAndParams(root, out->szProtocal, [out](const TiXmlElement* e) {
    // Dispatched on the name's first letter: an answer has a dozen elements, and comparing
    // each with every name cost more than reading it.
    const char* name = e->Value();
    switch (name[0]) {
      case 'D':
        if (Named(e, "DeviceID"))
          Store(e, out->szDeviceID);
        else if (Named(e, "DeviceName"))
          Store(e, out->szDeviceName);
        else if (Named(e, "DeviceCode"))
          Store(e, out->szDeviceCode);
        else if (Named(e, "DiscoverMethod"))
          Store(e, out->szDiscoverMethod);
        break;
      case 'E':
        if (Named(e, "Extension")) Store(e, out->szExtension);
        break;
      case 'F':
        if (Named(e, "FW"))
          Store(e, out->szFW);
        else if (Named(e, "Flag"))
          Store(e, out->szFlag);
        break;
      case 'I':
        if (Named(e, "IP")) Store(e, out->szIP);
        break;
      case 'M':
        if (Named(e, "MAC"))
          Store(e, out->szMAC);
        else if (Named(e, "Model"))
          Store(e, out->szModel);
        else if (Named(e, "MsgSeq"))
          out->nMsgSeq = CGlobalUtils::TextToInt(e->GetText());
        break;
      case 'R':
        if (Named(e, "RTSP")) Store(e, out->szRTSP);
        break;
      case 'T':
        if (Named(e, "Type")) Store(e, out->szType);
        break;
      case 'W':
        if (Named(e, "WorkMAC")) Store(e, out->szWorkMAC);
        break;
      default:
        break;
    }
  });
  return 0;
}

int CMsgHandle::ParseDiscoverAckMsg(const uint8_t* payload, DISCOVER_ACK_T* out, int length,
                                    int mode) {
  if (payload == nullptr || out == nullptr) return -1;
  std::memset(out, 0, sizeof(*out));
  std::vector<uint8_t> text;
  if (!DecodeDiscoverAckText(payload, length, mode, &text)) return -1;
  return ParseDiscoverAckText(text, out);
}

int CMsgHandle::ParseAuthenticateAck(const uint8_t* payload, COMMON_ACK_T* out,
                                     const std::string& keyText, int length) {
  static const char kOperation[] = "CMsgHandle::ParseAuthenticateAck";
  TiXmlDocument doc;
  const TiXmlElement* root =
      LoadReply(kOperation, payload, out, length, KeyOrDiscoverKey(keyText), true, this, &doc);
  if (root == nullptr) return -1;
  for (const TiXmlElement* child = root->FirstChildElement("Params"); child != nullptr;
       child = child->NextSiblingElement("Params")) {
    for (const TiXmlElement* e = child->FirstChildElement(); e != nullptr;
         e = e->NextSiblingElement()) {
      if (Named(e, "Result"))
        out->nResult = CGlobalUtils::TextToInt(e->GetText());
      else if (Named(e, "UUID"))
        Store(e, out->szUUID);
      else if (Named(e, "Desc"))
        Store(e, out->szDesc);
    }
  }
  return 0;
}

int CMsgHandle::ParseAckMsg(const uint8_t* payload, MSG_ACK_T* out, const std::string& keyText,
                            int length, int mode) {
  static const char kOperation[] = "CMsgHandle::ParseAckMsg";
  TiXmlDocument doc;
  const TiXmlElement* root =
      LoadReply(kOperation, payload, out, length, KeyOrDiscoverKey(keyText), mode >= 2, this, &doc);
  if (root == nullptr) return -1;
  ReadProtocalAndParams(root, out->szProtocal, [out](const TiXmlElement* e) {
    if (Named(e, "MsgID"))
      Store(e, out->szMsgID);
    else if (Named(e, "MsgCRC"))
      Store(e, out->szMsgCRC);
    else if (Named(e, "Result"))
      Store(e, out->szResult);
    else if (Named(e, "Info"))
      Store(e, out->szInfo);
  });
  return 0;
}

int CMsgHandle::ParseReportConfigMsg(const uint8_t* payload, REPORT_CONFIG_T* out,
                                     const std::string& keyText, int length, int mode) {
  static const char kOperation[] = "CMsgHandle::ParseReportConfigMsg";
  TiXmlDocument doc;
  // An empty key text selects the default key here, not the discovery identifier.
  const TiXmlElement* root =
      LoadReply(kOperation, payload, out, length, keyText, mode >= 1, this, &doc);
  if (root == nullptr) return -1;
  int items = 0;
  for (const TiXmlElement* child = root->FirstChildElement(); child != nullptr;
       child = child->NextSiblingElement()) {
    if (Named(child, "Protocal")) {
      Store(child, out->szProtocal);
      LogDebug("pReportConfigMsg->szProtocal = %s", FieldToUtf8(out->szProtocal).c_str());
    } else if (Named(child, "Params")) {
      // Only 32 items fit the record; the rest of a longer report is dropped.
      for (const TiXmlElement* e = child->FirstChildElement();
           e != nullptr && items < kConfigItemCount; e = e->NextSiblingElement()) {
        if (!Named(e, "Item")) continue;
        Store(e, out->module.szItem[items]);
        LogDebug("pReportConfigMsg->module.szItem[%d]=%s", items,
                 FieldToUtf8(out->module.szItem[items]).c_str());
        ++items;
      }
    }
  }
  return 0;
}

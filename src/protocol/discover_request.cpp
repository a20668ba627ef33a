#include "protocol/discover_request.h"

#include "protocol/text_field.h"

DISCOVER_REQ_T MakeDiscoverRequest() {
  DISCOVER_REQ_T request{};
  Utf8ToField(kProtocolVersion, request.szProtocal);
  Utf8ToField("-1", request.szExtension);
  Utf8ToField("5", request.szFlag);
  Utf8ToField("0", request.szReserved);
  return request;
}

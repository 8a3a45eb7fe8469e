#include "message_fixtures.h"

#include <memory>
#include <string>

namespace {

ustring numbered(const char* prefix, int i) { return ustring(prefix) + ustring(std::to_string(i)); }

umessage make_setting(int i) {
  umessage setting;
  setting.add("type", i % 5);
  setting.add("severity", i % 3);
  setting.add("enabled", i % 7 != 0);
  setting.add_array("limits", 0.25 * i);
  setting.add_array("limits", 300.0 + i);
  setting.add_array("texts", numbered("DeviceCMYK-", i));
  setting.add_array("texts", "ISO Coated v2 (ECI)");
  setting.add("precision", 2);
  setting.add("parameterValue", std::int64_t{1} << 33);
  return setting;
}

std::shared_ptr<umessage> make_check_group(int first, int count) {
  auto checks = std::make_shared<umessage>();
  for (int i = first; i < first + count; ++i) checks->add(numbered("problem", i), std::make_shared<umessage>(make_setting(i)));
  auto group = std::make_shared<umessage>();
  group->add("checks", checks);
  return group;
}

umessage make_destination(int i) {
  umessage d;
  d.add("identifier", numbered("D-2026-", 1000 + i));
  d.add("mlkey", numbered("ML", 77000 + i));
  d.add("publication", "Frankfurter Rundschau");
  d.add("section", "Wirtschaft");
  d.add("style", "newspaper");
  d.add("width", 210.0 + i);
  d.add("depth", 297.5);
  d.add("columns", 4);
  d.add("colourName", "4c");
  for (int k = 0; k < 4; ++k) d.add("bleed", 3.0);
  for (int k = 0; k < 4; ++k) d.add("typeIndent", 5.0 + k);
  d.add("exported", i % 2 == 0);
  d.add("ro", false);
  d.add("zts", make_check_group(i, 3));
  return d;
}

}  // namespace

umessage make_ticket_message() {
  umessage ticket("ticket");
  ticket.add("identifier", "T-2026-12-10-0001");
  ticket.add("operator", "m.mustermann");
  ticket.add("style", "newspaper");
  ticket.add("active", true);
  ticket.add("groupingDisabled", false);
  ticket.add("zts", make_check_group(0, 300));
  for (int i = 0; i < 50; ++i) ticket.add_array("destinations", make_destination(i));
  return ticket;
}

umessage make_request_message() {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string payload;
  for (int i = 0; i < 2048; ++i) payload.push_back(kAlphabet[(i * 37 + 11) % 64]);
  umessage request("details");
  request.add("v", ustring(payload));
  request.add("sender", "IllustratorCS");
  request.add("hwnd", "-1851390");
  return request;
}

#include "web/settings_json.h"

#include "sip/json_text.h"

namespace qm::web {

namespace {

const char* kindName(SettingKind kind) {
  switch (kind) {
    case SettingKind::Text:
      return "text";
    case SettingKind::Whole:
      return "whole";
    case SettingKind::Number:
      return "number";
    case SettingKind::Choice:
      return "choice";
    case SettingKind::List:
      return "list";
  }
  return "text";
}

}  // namespace

std::string settingsJson(const std::vector<RemoteSettings::File>& files) {
  std::string j = "{\"files\":[";
  for (std::size_t f = 0; f < files.size(); ++f) {
    const RemoteSettings::File& file = files[f];
    j += (f ? ",{" : "{") + std::string("\"file\":") + jsonQuote(file.table->file()) +
         ",\"path\":" + jsonQuote(file.path.string()) + ",\"about\":" + jsonQuote(file.table->about()) + ",\"keys\":[";
    for (std::size_t i = 0; i < file.keys.size(); ++i) {
      const RemoteSettings::Key& key = file.keys[i];
      const SettingKey& k = *key.key;
      j += (i ? ",{" : "{") + std::string("\"name\":") + jsonQuote(k.name) + ",\"kind\":\"" + kindName(k.kind) + "\"";
      if (k.kind == SettingKind::Whole || k.kind == SettingKind::Number)
        j += ",\"min\":" + settingNumber(k.min) + ",\"max\":" + settingNumber(k.max) + ",\"unit\":" + jsonQuote(k.unit);
      if (k.kind == SettingKind::Choice) {
        j += ",\"choices\":[";
        for (std::size_t c = 0; c < k.choices.size(); ++c) j += (c ? "," : "") + jsonQuote(k.choices[c]);
        j += "]";
      }
      j += ",\"default\":" + jsonQuote(k.secret ? "" : k.fallback) + ",\"help\":" + jsonQuote(k.help);
      j += ",\"secret\":" + std::string(k.secret ? "true" : "false") + ",\"set\":" + (key.set ? "true" : "false");
      if (!k.secret) j += ",\"value\":" + jsonQuote(key.value);
      j += ",\"nextStart\":" + std::string(key.nextStart ? "true" : "false") + "}";
    }
    j += "]}";
  }
  return j + "]}";
}

std::string settingChangeJson(const RemoteSettings::Outcome& outcome) {
  if (!outcome.saved) return "{\"error\":" + jsonQuote(outcome.message) + "}";
  return "{\"done\":true,\"message\":" + jsonQuote(outcome.message) +
         ",\"nextStart\":" + (outcome.nextStart ? "true" : "false") + "}";
}

}  // namespace qm::web

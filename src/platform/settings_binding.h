#pragma once
// A settings table whose rows also say where each value goes in a settings struct T. The struct's member initialisers
// are the defaults: each row's default is taken from T{}, so a key's name, range, help and default are each stated
// once. A new key is a member with its default in T and one row here.
#include <cmath>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "platform/settings_table.h"

namespace qm {

template <class T>
class BoundSettings {
 public:
  // Where a key's value lives: a member, or (for a member of a member) a function that reaches it.
  using Member = std::variant<std::string T::*, int T::*, double T::*, bool T::*, std::vector<std::string> T::*,
                              std::string& (*)(T&)>;
  struct Row {
    Member member;
    SettingKey key;  // its `fallback` is filled in from T{}
  };

  BoundSettings(std::string file, std::string about, std::vector<Row> rows)
      : table_(std::move(file), std::move(about), keysOf(rows)) {
    for (const Row& row : rows) members_.push_back(row.member);
  }

  const SettingsTable& table() const { return table_; }

  // Every key's value from section SETTINGS of `file`, or its default; an unusable value is named in `problems`.
  // `after`, when given, runs after each key is read (for a message that belongs in the key's place).
  T read(const ProfileFile& file, const std::string& fileName, std::vector<std::string>& problems,
         const std::function<void(const SettingKey&, T&)>& after = {}) const {
    T settings;
    for (std::size_t i = 0; i < members_.size(); ++i) {
      assign(settings, members_[i], table_.read(file, fileName, table_.keys()[i], problems));
      if (after) after(table_.keys()[i], settings);
    }
    return settings;
  }

 private:
  static std::vector<SettingKey> keysOf(const std::vector<Row>& rows) {
    T defaults{};
    std::vector<SettingKey> keys;
    for (const Row& row : rows) {
      keys.push_back(row.key);
      keys.back().fallback = text(defaults, row.member);
    }
    return keys;
  }

  static std::string text(T& s, const Member& member) {
    return std::visit(
        [&s](auto m) -> std::string {
          using M = decltype(m);
          if constexpr (std::is_same_v<M, std::string T::*>) return s.*m;
          if constexpr (std::is_same_v<M, int T::*>) return std::to_string(s.*m);
          if constexpr (std::is_same_v<M, double T::*>) return settingNumber(s.*m);
          if constexpr (std::is_same_v<M, bool T::*>) return s.*m ? "1" : "0";
          if constexpr (std::is_same_v<M, std::vector<std::string> T::*>) {
            std::string list;
            for (const std::string& item : s.*m) list += (list.empty() ? "" : ",") + item;
            return list;
          }
          if constexpr (std::is_same_v<M, std::string& (*)(T&)>) return m(s);
        },
        member);
  }

  // `value` has passed its key's check.
  static void assign(T& s, const Member& member, const std::string& value) {
    std::visit(
        [&s, &value](auto m) {
          using M = decltype(m);
          if constexpr (std::is_same_v<M, std::string T::*>) s.*m = value;
          if constexpr (std::is_same_v<M, int T::*>) s.*m = static_cast<int>(std::lround(std::stod(value)));
          if constexpr (std::is_same_v<M, double T::*>) s.*m = std::stod(value);
          if constexpr (std::is_same_v<M, bool T::*>) s.*m = value == "1";
          if constexpr (std::is_same_v<M, std::vector<std::string> T::*>) s.*m = splitList(value);
          if constexpr (std::is_same_v<M, std::string& (*)(T&)>) m(s) = value;
        },
        member);
  }

  std::vector<Member> members_;
  SettingsTable table_;
};

}  // namespace qm

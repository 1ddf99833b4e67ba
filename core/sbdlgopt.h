// Options of the folder browse component and the two pieces of its behaviour that
// need no window: the shell flags for a set of options and the path sent as the
// preselection. Portable so that they are tested natively; the installer shares them.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace pv {

// Ordinal n is bit n of TSBDlgOptions; forms store the member names.
enum TSBDlgOption : std::uint8_t {
  biBrowseForComputer = 0,
  biBrowseForPrinter = 1,
  biDontGoBelowDomain = 2,
  biReturnFSAncestors = 3,
  biReturnOnlyFSDirs = 4,
  biStatusText = 5,
  biNewStyle = 6,
  biEditBox = 7,
};

// A set of TSBDlgOption held in one byte.
class TSBDlgOptions {
 public:
  constexpr TSBDlgOptions() = default;
  constexpr TSBDlgOptions(std::initializer_list<TSBDlgOption> members) {
    for (auto m : members) bits_ |= bit(m);
  }
  static constexpr TSBDlgOptions fromByte(std::uint8_t b) { TSBDlgOptions o; o.bits_ = b; return o; }

  constexpr bool has(TSBDlgOption m) const { return (bits_ & bit(m)) != 0; }
  constexpr void include(TSBDlgOption m) { bits_ |= bit(m); }
  constexpr void exclude(TSBDlgOption m) { bits_ &= static_cast<std::uint8_t>(~bit(m)); }
  constexpr std::uint8_t byte() const { return bits_; }
  constexpr bool empty() const { return bits_ == 0; }
  friend constexpr bool operator==(TSBDlgOptions a, TSBDlgOptions b) { return a.bits_ == b.bits_; }
  friend constexpr bool operator!=(TSBDlgOptions a, TSBDlgOptions b) { return a.bits_ != b.bits_; }

 private:
  static constexpr std::uint8_t bit(TSBDlgOption m) { return static_cast<std::uint8_t>(1u << m); }
  std::uint8_t bits_ = 0;
};

inline constexpr TSBDlgOptions kDefaultSBDlgOptions{biReturnOnlyFSDirs};

// The BROWSEINFO ulFlags for a set of options (the member order is not the flag order).
unsigned browseFlags(TSBDlgOptions options);

// Parses a stored option list: member names separated by commas and/or blanks,
// optionally in square brackets ("[biReturnOnlyFSDirs, biNewStyle]"); empty text or
// "[]" is the empty set. nullopt for an unknown name.
std::optional<TSBDlgOptions> parseSBDlgOptions(std::string_view text);

// The path the browse dialog is asked to preselect for a Directory, or nullopt when
// nothing is to be sent (empty Directory). A drive root such as C:\ goes unchanged;
// a longer path loses one trailing backslash. The backslash must be a character of
// its own: a path ending in a double-byte character whose second byte is 0x5C (表)
// keeps every byte.
std::optional<std::string> browsePreselection(std::string_view directory);

}  // namespace pv

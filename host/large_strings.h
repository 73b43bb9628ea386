// The long strings of a request (a text to sign, a signature to verify),
// decoded straight from the request's text into UTF-16 instead of through the
// JSON parser, which would copy them byte by byte into strings of its own.
// Before parsing, each is validated, measured and replaced in the text by a
// placeholder no client can forge; its arguments are then decoded from the
// original text into the buffer that the member receives.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::host {

class LargeStrings {
 public:
  // Strings of at least this many bytes between their quotes are taken out.
  static constexpr size_t kMinBytes = 64 * 1024;

  // `nonce` makes the placeholders unforgeable: at least 16 random bytes,
  // hex, kept secret by the session.
  explicit LargeStrings(std::string nonce) : nonce_(std::move(nonce)) {}

  // Takes the long strings out of `message`, which must outlive their use.
  // False when one of them is not a valid JSON string (the message then
  // fails to parse as a whole, as the parser would fail it).
  bool Extract(std::string_view message);
  // The same for a message handed over: it is freed as soon as each of its
  // long strings has been decoded into an argument.
  bool Extract(std::string&& message);

  // The message to parse: `message` itself when nothing was taken out.
  std::string_view text() const { return taken_.empty() ? message_ : std::string_view(text_); }

  // The index of the taken-out string that `value` stands for, or -1.
  ptrdiff_t Find(std::string_view value) const;
  // Its length in UTF-16 units, and its units written into `out`, which
  // holds exactly that many.
  // False when the string can no longer be decoded (its message is gone).
  size_t Units(size_t index) const { return taken_[index].units; }
  [[nodiscard]] bool Decode(size_t index, std::span<char16_t> out) const;
  // The same into a string of its own; nullopt when it can no longer be.
  std::optional<std::u16string> Decoded(size_t index) const;
  // Decodes an argument's string; once every string has been, a message
  // handed over is freed, and decodes nothing more.
  [[nodiscard]] bool DecodeArgument(size_t index, std::span<char16_t> out);

  void Clear();

 private:
  bool Scan(std::string_view message);

  struct Taken {
    std::string_view body;  // between the quotes, in the message
    size_t units;
    bool decoded = false;
  };
  std::string nonce_;
  std::string owned_;
  bool released_ = false;
  size_t decoded_ = 0;
  std::string_view message_;
  std::string text_;
  std::vector<Taken> taken_;
};

}  // namespace quorvel::host

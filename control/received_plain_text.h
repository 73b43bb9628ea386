// The received text that verification or an opened envelope leaves, and what
// taking form items and files out of it leaves of it.
//
// The text is read as a container once, at the first take; each take then
// moves the index past one element, so taking a container apart costs time in
// proportion to its size and holds one copy of it. Until something is taken
// the text is as it was given; from then on it is the encoding of what is
// left, built only when asked for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "container/plain_text_index.h"

namespace quorvel::control {

// An element taken out of the received text. Its view points into the
// received text or, when nothing was left of that text, into `text`, which
// then holds it for as long as the view is used.
template <typename Element>
struct Taken {
  Taken() = default;
  Taken(const Taken&) = delete;
  Taken& operator=(const Taken&) = delete;

  std::optional<Element> element;
  std::string text;
};

class ReceivedPlainText {
 public:
  // Replaces the text; nothing is taken from the new one yet.
  void Assign(std::string bytes);

  bool empty() const;

  // The received text: a view of the text as given, or the encoding of what is
  // left built into `storage`. Throws std::bad_alloc when memory runs out.
  std::string_view Text(std::string& storage) const;

  // Take the first form item or the first file out. 0 with the element in
  // `taken` (none when there is none left), valid until the next Assign; -1
  // when the text is not a container, -10056 when what would be left cannot
  // be encoded. On failure nothing changes.
  int32_t TakeFormItem(Taken<std::string_view>& taken);
  int32_t TakeFile(Taken<container::PlainTextFileView>& taken);

 private:
  template <typename Element, typename First, typename Without>
  int32_t Take(First first, Without without, Taken<Element>& taken);

  std::string bytes_;
  // What is left once something has been taken; none before.
  std::optional<container::PlainTextIndex> left_;
};

}  // namespace quorvel::control

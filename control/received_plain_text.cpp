#include "control/received_plain_text.h"

#include <new>

#include "container/plain_text.h"

namespace quorvel::control {

using container::kPlainTextOk;
using container::PlainTextIndex;

void ReceivedPlainText::Assign(std::string bytes) {
  bytes_ = std::move(bytes);
  left_.reset();
}

bool ReceivedPlainText::empty() const {
  return left_ ? left_->Empty() : bytes_.empty();
}

std::string_view ReceivedPlainText::Text(std::string& storage) const {
  if (!left_) return bytes_;
  // What is left was checked to be encodable when it was kept.
  if (container::EncodeIndexed(bytes_, *left_, storage) != kPlainTextOk) throw std::bad_alloc();
  return storage;
}

template <typename Element, typename First, typename Without>
int32_t ReceivedPlainText::Take(First first, Without without, Taken<Element>& taken) {
  PlainTextIndex index;
  if (left_) {
    index = *left_;
  } else if (const int32_t read = container::IndexPlainText(bytes_, index); read != kPlainTextOk) {
    return read;
  }
  const PlainTextIndex rest = without(bytes_, index);
  if (const int32_t checked = container::CheckEncodable(rest); checked != kPlainTextOk) {
    return checked;
  }
  if (rest.Empty()) {
    // Nothing is left: the text goes with the element and is freed with it.
    taken.text = std::move(bytes_);
    Assign({});
    taken.element = first(taken.text, index);
  } else {
    left_ = rest;
    taken.element = first(bytes_, index);
  }
  return kPlainTextOk;
}

int32_t ReceivedPlainText::TakeFormItem(Taken<std::string_view>& taken) {
  return Take(container::FirstFormItem, container::WithoutFirstFormItem, taken);
}

int32_t ReceivedPlainText::TakeFile(Taken<container::PlainTextFileView>& taken) {
  return Take(container::FirstFile, container::WithoutFirstFile, taken);
}

}  // namespace quorvel::control

// Binds a CDrennicQuorvel member function to the member table. A member's
// non-const reference parameter, always the last one, is its result; every
// other parameter is an input.
#pragma once

#include <array>
#include <tuple>
#include <type_traits>
#include <utility>

#include "control/registration/member_table.h"

namespace quorvel::registration {
namespace detail {

template <typename P>
inline constexpr bool kIsOutput =
    std::is_lvalue_reference_v<P> && !std::is_const_v<std::remove_reference_t<P>>;

template <typename T>
constexpr ValueType TypeOf() {
  if constexpr (std::is_same_v<T, std::u16string>) {
    return ValueType::kString;
  } else if constexpr (std::is_same_v<T, int32_t>) {
    return ValueType::kLong;
  } else {
    static_assert(std::is_same_v<T, uint32_t>, "unsupported member parameter type");
    return ValueType::kUnsignedLong;
  }
}

template <auto Fn>
struct Bound;

template <typename... Ps, control::Status (control::CDrennicQuorvel::*Fn)(Ps...)>
struct Bound<Fn> {
  static constexpr size_t kCount = sizeof...(Ps);
  static constexpr bool kHasOutput = [] {
    if constexpr (kCount == 0) {
      return false;
    } else {
      return kIsOutput<std::tuple_element_t<kCount - 1, std::tuple<Ps...>>>;
    }
  }();
  static constexpr size_t kInputs = kHasOutput ? kCount - 1 : kCount;

  static constexpr std::array<ValueType, kCount> kTypes{TypeOf<std::remove_cvref_t<Ps>>()...};
  static constexpr std::array<ValueType, kInputs> kInputTypes = [] {
    std::array<ValueType, kInputs> inputs{};
    for (size_t i = 0; i < kInputs; ++i) inputs[i] = kTypes[i];
    return inputs;
  }();

  // The dispatcher converts every argument to its declared type first, and
  // the table's declared types are checked against these at compile time.
  static control::Status Invoke(control::CDrennicQuorvel& object, std::span<const Value> args,
                                Value& result) {
    return Call(object, args, result, std::index_sequence_for<Ps...>{});
  }

  template <size_t... I>
  static control::Status Call(control::CDrennicQuorvel& object, std::span<const Value> args,
                              Value& result, std::index_sequence<I...>) {
    std::tuple<std::remove_cvref_t<Ps>...> values;
    (Load<I, std::remove_cvref_t<Ps>>(values, args), ...);
    const control::Status status = (object.*Fn)(std::get<I>(values)...);
    if constexpr (kHasOutput) result = std::move(std::get<kCount - 1>(values));
    return status;
  }

  template <size_t I, typename T, typename Tuple>
  static void Load(Tuple& values, std::span<const Value> args) {
    if (I < kInputs) std::get<I>(values) = std::get<T>(args[I]);
  }

  static constexpr Binding kBinding{kInputTypes, kHasOutput ? kTypes[kCount - 1] : ValueType::kNone,
                                    &Invoke};
};

}  // namespace detail

template <auto Fn>
inline constexpr const Binding* Bind = &detail::Bound<Fn>::kBinding;

}  // namespace quorvel::registration

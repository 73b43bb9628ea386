// Binds a CDrennicQuorvel member function to the member table. A member's
// non-const reference parameter, always the last one, is its result; every
// other parameter is an input.
#pragma once

#include <array>
#include <new>
#include <tuple>
#include <type_traits>
#include <utility>

#include "control/registration/com_abi.h"
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

// The C type of a member parameter in the dual interface's function table.
template <typename P>
struct CParameter {
  using type = P;  // int32_t and uint32_t travel as they are
};
template <>
struct CParameter<const std::u16string&> {
  using type = const char16_t*;
};
template <>
struct CParameter<std::u16string> {
  using type = const char16_t*;  // a text the member takes over
};
template <>
struct CParameter<std::u16string&> {
  using type = char16_t**;
};
template <>
struct CParameter<int32_t&> {
  using type = int32_t*;
};
template <>
struct CParameter<uint32_t&> {
  using type = uint32_t*;
};

template <typename P, typename A>
std::remove_cvref_t<P> FromC(A argument) {
  if constexpr (kIsOutput<P>) {
    return {};
  } else if constexpr (std::is_same_v<std::remove_cvref_t<P>, std::u16string>) {
    return abi::StringOf(argument);
  } else {
    return argument;
  }
}

// An input taken by value is moved into the member; references bind as they are.
template <typename P, typename T>
decltype(auto) Pass(T& value) {
  if constexpr (std::is_lvalue_reference_v<P>) {
    return (value);
  } else {
    return std::move(value);
  }
}

template <typename T, typename Out>
int32_t StoreToC(T& value, Out out) {
  if constexpr (std::is_same_v<T, std::u16string>) {
    *out = abi::AllocString(value.data(), static_cast<uint32_t>(value.size()));
    if (*out == nullptr) return abi::hr::kOutOfMemory;
  } else {
    *out = value;
  }
  return abi::hr::kOk;
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
  // The arguments are moved into the call.
  static control::Status Invoke(control::CDrennicQuorvel& object, std::span<Value> args,
                                Value& result) {
    return Call(object, args, result, std::index_sequence_for<Ps...>{});
  }

  template <size_t... I>
  static control::Status Call(control::CDrennicQuorvel& object, std::span<Value> args,
                              Value& result, std::index_sequence<I...>) {
    std::tuple<std::remove_cvref_t<Ps>...> values;
    (Load<I, std::remove_cvref_t<Ps>>(values, args), ...);
    const control::Status status = (object.*Fn)(Pass<Ps>(std::get<I>(values))...);
    if constexpr (kHasOutput) result = std::move(std::get<kCount - 1>(values));
    return status;
  }

  template <size_t I, typename T, typename Tuple>
  static void Load(Tuple& values, std::span<Value> args) {
    if (I < kInputs) std::get<I>(values) = std::move(std::get<T>(args[I]));
  }

  // The member's slot in the dual interface's function table.
  static int32_t QUORVEL_COM_CALL Entry(void* self, typename CParameter<Ps>::type... arguments) {
    if (self == nullptr) return abi::hr::kPointer;
    auto cArguments = std::forward_as_tuple(arguments...);
    if constexpr (kHasOutput) {
      auto out = std::get<kCount - 1>(cArguments);
      if (out == nullptr) return abi::hr::kPointer;
      *out = {};
    }
    try {
      return CallFromC(*static_cast<abi::ObjectHeader*>(self)->control, cArguments,
                       std::index_sequence_for<Ps...>{});
    } catch (const std::bad_alloc&) {
      return abi::hr::kOutOfMemory;
    }
  }

  template <typename Tuple, size_t... I>
  static int32_t CallFromC(control::CDrennicQuorvel& object, Tuple& cArguments,
                           std::index_sequence<I...>) {
    std::tuple<std::remove_cvref_t<Ps>...> values{FromC<Ps>(std::get<I>(cArguments))...};
    const control::Status status = (object.*Fn)(Pass<Ps>(std::get<I>(values))...);
    if constexpr (kHasOutput) {
      if (const int32_t stored =
              StoreToC(std::get<kCount - 1>(values), std::get<kCount - 1>(cArguments));
          stored != abi::hr::kOk) {
        return stored;
      }
    }
    return abi::HresultOf(status);
  }

  static ErasedEntry EntryAddress() { return reinterpret_cast<ErasedEntry>(&Entry); }

  static constexpr Binding kBinding{kInputTypes, kHasOutput ? kTypes[kCount - 1] : ValueType::kNone,
                                    &Invoke, &EntryAddress};
};

}  // namespace detail

template <auto Fn>
inline constexpr const Binding* Bind = &detail::Bound<Fn>::kBinding;

}  // namespace quorvel::registration

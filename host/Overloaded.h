// A visitor made of lambdas, one per alternative of a std::variant.
#pragma once

namespace host {

template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

}  // namespace host

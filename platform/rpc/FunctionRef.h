// A non-owning reference to a callable, for callbacks that run before the
// call that receives them returns (no allocation, unlike std::function).
#pragma once

#include <type_traits>
#include <utility>

namespace wys::rpc {

template <class Signature>
class FunctionRef;

template <class R, class... Args>
class FunctionRef<R(Args...)> {
public:
    template <class F>
    requires(!std::is_same_v<std::remove_cvref_t<F>, FunctionRef> && std::is_invocable_r_v<R, F&, Args...>)
        FunctionRef(F&& f)  // NOLINT: implicit by design, like a function pointer
        : m_object(const_cast<void*>(static_cast<const void*>(&f))),
          m_call([](void* object, Args... args) -> R {
              return (*static_cast<std::remove_reference_t<F>*>(object))(std::forward<Args>(args)...);
          })
    {
    }
    R operator()(Args... args) const { return m_call(m_object, std::forward<Args>(args)...); }

private:
    void* m_object;
    R (*m_call)(void*, Args...);
};

}  // namespace wys::rpc

// Owning handle for Python object references and the C++ signal that a Python
// exception is already set. Unwinding through PyRef destructors is how every
// failure path of the boundary releases what it holds.
#pragma once

#include <Python.h>

#include <utility>

namespace pyxa::py {

// Thrown after a Python exception has been set; the boundary entry returns null.
struct ErrorSet {};

// Throws ErrorSet when a C-API call returned null.
inline PyObject* check(PyObject* p) {
    if (!p) throw ErrorSet{};
    return p;
}

[[noreturn]] inline void raise(PyObject* type, const char* message) {
    PyErr_SetString(type, message);
    throw ErrorSet{};
}

[[noreturn]] inline void raise_object(PyObject* type, PyObject* message) {
    PyErr_SetObject(type, message);
    throw ErrorSet{};
}

class Ref {
public:
    Ref() = default;
    // Takes ownership of a new reference (which may be null).
    explicit Ref(PyObject* owned) : p_(owned) {}
    static Ref borrow(PyObject* p) {
        Py_XINCREF(p);
        return Ref(p);
    }
    // Takes a new reference that must not be null (throws ErrorSet otherwise).
    static Ref checked(PyObject* owned) { return Ref(check(owned)); }

    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    Ref& operator=(Ref&& o) noexcept {
        if (this != &o) reset(std::exchange(o.p_, nullptr));
        return *this;
    }
    ~Ref() { Py_XDECREF(p_); }

    PyObject* get() const { return p_; }
    PyObject* release() { return std::exchange(p_, nullptr); }
    explicit operator bool() const { return p_ != nullptr; }
    void reset(PyObject* owned = nullptr) {
        PyObject* old = std::exchange(p_, owned);
        Py_XDECREF(old);
    }

private:
    PyObject* p_ = nullptr;
};

}  // namespace pyxa::py

// The binding layer: everything the module needs from the interpreter's C API, wrapped once.
//
// Conventions for the bodies behind every entry point:
// - A body returns a Ref. An empty Ref means that a Python exception has been raised (set as
//   the thread's current exception) and is the call's error.
// - An internal failure (a broken invariant) is a thrown Panic. A guard at every entry catches
//   it, writes its message to standard error and raises PanicException, a BaseException
//   subclass, so that no C++ exception ever reaches the interpreter. std::bad_alloc raises
//   MemoryError instead, and so does a panic when the interpreter has no memory left to make
//   PanicException or its message.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace zelvar::python {

// ---------------------------------------------------------------------------------------
// References

// An owned strong reference.
class Ref {
 public:
  Ref() noexcept = default;
  // Takes over a new reference (from an API call that returns one); may be null.
  static Ref steal(PyObject* p) noexcept { return Ref(p); }
  // Takes a new reference to an object someone else holds.
  static Ref new_ref(PyObject* p) noexcept {
    Py_XINCREF(p);
    return Ref(p);
  }

  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  Ref& operator=(Ref&& other) noexcept {
    Ref old(std::exchange(p_, std::exchange(other.p_, nullptr)));
    return *this;
  }
  ~Ref() { Py_XDECREF(p_); }

  PyObject* get() const noexcept { return p_; }
  [[nodiscard]] PyObject* release() noexcept { return std::exchange(p_, nullptr); }
  explicit operator bool() const noexcept { return p_ != nullptr; }

 private:
  explicit Ref(PyObject* p) noexcept : p_(p) {}
  PyObject* p_ = nullptr;
};

// A reference that the caller holds for the duration of a call (arguments, `self`).
class Borrowed {
 public:
  constexpr Borrowed() noexcept = default;
  constexpr explicit Borrowed(PyObject* p) noexcept : p_(p) {}
  PyObject* get() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }

 private:
  PyObject* p_ = nullptr;
};

// ---------------------------------------------------------------------------------------
// Raised exceptions, the same on every supported interpreter version

// Takes the current exception, normalised; empty when none is raised.
Ref take_raised_exception() noexcept;
// Takes the current exception; a SystemError when none is raised.
Ref fetch_error() noexcept;
// Raises `exc`, an exception instance, as the current exception, exactly as it is: for one
// taken with take_raised_exception or fetch_error.
void set_raised_exception(Ref exc) noexcept;
// Raises `exc`, a new exception instance, as `raise exc` would: the exception being handled, if
// any, becomes its __context__.
void raise_new_exception(Ref exc) noexcept;
// Makes sure an exception is raised: SystemError when none is.
void ensure_error_set() noexcept;
// Takes the current exception and describes it as "TypeName: text", for panic messages.
std::string describe_raised_exception();

// Sets the raised exception, if any, aside for its lifetime and raises it again at the end, so
// that interpreter calls in between neither see nor lose it. Holding it needs no memory.
class SetAsideError {
 public:
  SetAsideError() noexcept;
  ~SetAsideError();
  SetAsideError(const SetAsideError&) = delete;
  SetAsideError& operator=(const SetAsideError&) = delete;

 private:
#if PY_VERSION_HEX >= 0x030C0000
  PyObject* exc_ = nullptr;
#else
  PyObject* type_ = nullptr;
  PyObject* value_ = nullptr;
  PyObject* traceback_ = nullptr;
#endif
};

// ---------------------------------------------------------------------------------------
// Internal failures

class Panic : public std::exception {
 public:
  explicit Panic(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// An object that the interpreter had to make is missing: reports the interpreter's error as
// unraisable, then fails with "PyObject pointer is null".
[[noreturn]] void panic_after_error();

// `p` as an owned reference; a null `p` is an internal failure (panic_after_error).
inline Ref new_or_panic(PyObject* p) {
  if (p == nullptr) panic_after_error();
  return Ref::steal(p);
}

// Turns the exception being handled into a Python exception. Call only inside a catch block.
void raise_current_failure() noexcept;

// The guards around every entry point.
template <class Body>
PyObject* guard(Body&& body) noexcept {
  try {
    return body().release();
  } catch (...) {
    raise_current_failure();
    return nullptr;
  }
}

// For the module's exec step: the body returns false when it raised an exception.
template <class Body>
int guard_status(Body&& body) noexcept {
  try {
    return body() ? 0 : -1;
  } catch (...) {
    raise_current_failure();
    return -1;
  }
}

// For deallocation, which cannot report an error: a failure goes to the unraisable hook.
// Deallocation often runs while an exception unwinds the stack; the report leaves it raised.
template <class Body>
void guard_unraisable(Body&& body) noexcept {
  try {
    body();
  } catch (...) {
    SetAsideError in_flight;
    raise_current_failure();
    PyErr_WriteUnraisable(nullptr);
  }
}

// ---------------------------------------------------------------------------------------
// Instances and type objects

// Every instance: the object header, the class's record, the shared-borrow count.
template <class Record>
struct Instance {
  PyObject_HEAD
  Record record;
  std::atomic<std::uint64_t> borrow_count;
};

// The once-per-process home of one class's type object. Threads that race on the first
// creation may each build a type object; the first one stored is the one ever handed out.
class TypeCellBase {
 public:
  constexpr TypeCellBase(const char* name, PyType_Spec* spec) noexcept
      : name_(name), spec_(spec) {}
  TypeCellBase(const TypeCellBase&) = delete;
  TypeCellBase& operator=(const TypeCellBase&) = delete;

  const char* name() const noexcept { return name_; }
  // The type object, made on first need; null with RuntimeError "An error occurred while
  // initializing class {name}" raised (its __cause__ the interpreter's error) if that fails.
  PyTypeObject* get() noexcept;
  // As get(), for callers that cannot fail with a Python error: the RuntimeError is reported
  // as unraisable and the failure is a Panic.
  PyTypeObject* get_or_panic();

 private:
  const char* name_;
  PyType_Spec* spec_;
  std::atomic<PyTypeObject*> type_{nullptr};
};

template <class Record>
class TypeCell : public TypeCellBase {
 public:
  using TypeCellBase::TypeCellBase;
};

// tp_alloc of every class: the interpreter's generic allocator, then an empty record and a zero
// borrow count. The type objects are mutable, so Python code can give a class a __new__ that
// reaches object.__new__ and so this slot directly; every instance, however it was allocated,
// thus holds a live record that its getters may read and its deallocation destroy.
template <class Record>
PyObject* alloc_instance(PyTypeObject* type, Py_ssize_t nitems) noexcept {
  static_assert(std::is_nothrow_default_constructible_v<Record>);
  PyObject* obj = PyType_GenericAlloc(type, nitems);
  if (obj == nullptr) return nullptr;
  auto* inst = reinterpret_cast<Instance<Record>*>(obj);
  new (&inst->record) Record();
  new (&inst->borrow_count) std::atomic<std::uint64_t>(0);
  return obj;
}

// A new instance of `type` through the base object type's tp_new (and so the type's tp_alloc,
// alloc_instance), or empty with the interpreter's error raised.
Ref allocate_instance(PyTypeObject* type) noexcept;

// A new instance of `type` that owns `record`, or empty with the interpreter's error raised
// (the record is then released).
template <class Record>
Ref make_instance(PyTypeObject* type, Record record) {
  static_assert(std::is_nothrow_move_assignable_v<Record>);
  Ref obj = allocate_instance(type);
  if (!obj) return obj;
  reinterpret_cast<Instance<Record>*>(obj.get())->record = std::move(record);
  return obj;
}

// tp_dealloc of every class.
template <class Record>
void dealloc_instance(PyObject* self) noexcept {
  guard_unraisable([self] {
    auto* inst = reinterpret_cast<Instance<Record>*>(self);
    inst->record.~Record();
    using Count = std::atomic<std::uint64_t>;
    inst->borrow_count.~Count();
    PyTypeObject* type = Py_TYPE(self);
    type->tp_free(self);
    // The allocator gave the instance a reference to its heap type; give it back, so that
    // making objects does not grow the type's reference count.
    Py_DECREF(type);
  });
}

// Raises TypeError "'{type}' object is not an instance of '{target}'" ("'None' is not an
// instance of '{target}'" for None).
void raise_downcast_error(PyObject* obj, const char* target) noexcept;

// `obj` as an instance of the class of `cell`, or null with the downcast TypeError raised.
template <class Record>
Instance<Record>* downcast(TypeCell<Record>& cell, Borrowed obj) {
  PyTypeObject* type = cell.get_or_panic();
  PyTypeObject* actual = Py_TYPE(obj.get());
  if (actual == type || PyType_IsSubtype(actual, type)) {
    return reinterpret_cast<Instance<Record>*>(obj.get());
  }
  raise_downcast_error(obj.get(), cell.name());
  return nullptr;
}

// A shared borrow of an instance, held while a body runs and released on every way out.
class SharedBorrow {
 public:
  // Refused (RuntimeError "Already mutably borrowed") only when every bit of the count is set,
  // the mark of an exclusive borrow, which nothing takes.
  static std::optional<SharedBorrow> take(std::atomic<std::uint64_t>& count) noexcept;
  template <class Record>
  static std::optional<SharedBorrow> of(Instance<Record>* inst) noexcept {
    return take(inst->borrow_count);
  }

  SharedBorrow(const SharedBorrow&) = delete;
  SharedBorrow& operator=(const SharedBorrow&) = delete;
  SharedBorrow(SharedBorrow&& other) noexcept : count_(std::exchange(other.count_, nullptr)) {}
  SharedBorrow& operator=(SharedBorrow&&) = delete;
  ~SharedBorrow() {
    if (count_ != nullptr) count_->fetch_sub(1, std::memory_order_release);
  }

 private:
  explicit SharedBorrow(std::atomic<std::uint64_t>* count) noexcept : count_(count) {}
  std::atomic<std::uint64_t>* count_;
};

// ---------------------------------------------------------------------------------------
// Arguments

// The description of one callable's parameters, all positional-or-keyword.
struct Signature {
  const char* class_name;
  const char* function_name;
  std::span<const char* const> parameters;
  std::size_t required;
};

// Fill out[i] with the value of parameter i (empty when not given), or raise the TypeError of
// a wrong call and return false. Tests in this order: too many positional arguments; each
// keyword in the order given (unexpected, or repeated); missing required parameters.
bool parse_fastcall(const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, std::span<Borrowed> out);
bool parse_tuple_dict(const Signature& sig, PyObject* args, PyObject* kwargs,
                      std::span<Borrowed> out);

// The UTF-8 text of a str argument (a subclass is fine), owned by the object and valid while
// the caller holds it; no copy. Otherwise raises: the TypeError of a non-str, or the
// interpreter's error (UnicodeEncodeError for a lone surrogate), a TypeError renamed
// "argument '{parameter}': ...".
std::optional<std::string_view> str_argument(Borrowed value, const char* parameter);

// ---------------------------------------------------------------------------------------
// Conversions; a failure to make the object is an internal failure (panic_after_error)

Ref to_str(std::string_view text);
Ref to_list(std::span<const std::string> texts);
Ref to_int(std::uint64_t value);
Ref to_float(double value);
inline Ref none() noexcept { return Ref::new_ref(Py_None); }

// ---------------------------------------------------------------------------------------
// Casts for the interpreter's method and slot tables

template <class F>
PyCFunction as_method(F* f) noexcept {
  // Through void(*)() because the interpreter calls it by the convention in ml_flags.
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
}

template <class F>
void* as_slot(F* f) noexcept {
  return reinterpret_cast<void*>(f);
}

}  // namespace zelvar::python

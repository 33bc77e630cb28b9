#include "capi.hpp"

#include <cstdio>
#include <string_view>

namespace zelvar::python {

// ---------------------------------------------------------------------------------------
// Raised exceptions

Ref take_raised_exception() noexcept {
#if PY_VERSION_HEX >= 0x030C0000
  return Ref::steal(PyErr_GetRaisedException());
#else
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  if (type == nullptr) return {};
  PyErr_NormalizeException(&type, &value, &traceback);
  if (traceback != nullptr && value != nullptr) PyException_SetTraceback(value, traceback);
  Py_XDECREF(type);
  Py_XDECREF(traceback);
  return Ref::steal(value);
#endif
}

void set_raised_exception(Ref exc) noexcept {
#if PY_VERSION_HEX >= 0x030C0000
  PyErr_SetRaisedException(exc.release());
#else
  PyObject* value = exc.release();
  PyErr_Restore(Py_NewRef(reinterpret_cast<PyObject*>(Py_TYPE(value))), value,
                PyException_GetTraceback(value));
#endif
}

void raise_new_exception(Ref exc) noexcept {
  // PyErr_SetObject chains the exception being handled, as the interpreter's own errors do.
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exc.get())), exc.get());
}

SetAsideError::SetAsideError() noexcept {
#if PY_VERSION_HEX >= 0x030C0000
  exc_ = PyErr_GetRaisedException();
#else
  // Not normalised: normalising may need memory, and the triple goes back unchanged.
  PyErr_Fetch(&type_, &value_, &traceback_);
#endif
}

SetAsideError::~SetAsideError() {
#if PY_VERSION_HEX >= 0x030C0000
  if (exc_ != nullptr) PyErr_SetRaisedException(exc_);
#else
  if (type_ != nullptr) PyErr_Restore(type_, value_, traceback_);
#endif
}

void ensure_error_set() noexcept {
  if (!PyErr_Occurred()) {
    PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
  }
}

Ref fetch_error() noexcept {
  ensure_error_set();
  return take_raised_exception();
}

namespace {

// UTF-8 of a str, or `fallback` (clearing the error) when it has none.
std::string utf8_or(PyObject* str, std::string_view fallback) {
  Py_ssize_t size = 0;
  const char* data = str != nullptr ? PyUnicode_AsUTF8AndSize(str, &size) : nullptr;
  if (data == nullptr) {
    PyErr_Clear();
    return std::string(fallback);
  }
  return std::string(data, static_cast<std::size_t>(size));
}

}  // namespace

std::string describe_raised_exception() {
  Ref exc = fetch_error();
  if (!exc) return "<unknown error>";
  Ref type_name = Ref::steal(PyType_GetQualName(Py_TYPE(exc.get())));
  std::string out = utf8_or(type_name.get(), "<failed to extract type name>");
  Ref text = Ref::steal(PyObject_Str(exc.get()));
  out += ": ";
  out += utf8_or(text.get(), "<exception str() failed>");
  return out;
}

// ---------------------------------------------------------------------------------------
// Internal failures

namespace {

constexpr const char* panic_exception_doc =
    "An internal failure inside zelvar's native module. It derives from BaseException, so an "
    "ordinary `except Exception` does not swallow it.";

// Made once per process; the first one stored wins.
std::atomic<PyObject*> panic_exception_cell{nullptr};

PyObject* panic_exception_type() noexcept {
  PyObject* type = panic_exception_cell.load(std::memory_order_acquire);
  if (type != nullptr) return type;
  PyObject* made = PyErr_NewExceptionWithDoc("zelvar.PanicException", panic_exception_doc,
                                             PyExc_BaseException, nullptr);
  if (made == nullptr) return nullptr;
  PyObject* expected = nullptr;
  if (panic_exception_cell.compare_exchange_strong(expected, made, std::memory_order_acq_rel,
                                                   std::memory_order_acquire)) {
    return made;
  }
  Py_DECREF(made);
  return expected;
}

// Writes the failure's message to standard error and raises PanicException carrying it.
void raise_panic(std::string_view message) noexcept {
  std::fprintf(stderr, "zelvar: internal failure: %.*s\n", static_cast<int>(message.size()),
               message.data());
  std::fflush(stderr);
  // The interpreter's API must not run with an exception pending; the panic replaces it.
  PyErr_Clear();
  PyObject* type = panic_exception_type();
  Ref value = type != nullptr ? Ref::steal(PyUnicode_DecodeUTF8(
                                    message.data(), static_cast<Py_ssize_t>(message.size()),
                                    "replace"))
                              : Ref();
  if (!value) {
    // Out of memory even for the exception: MemoryError, whose instances the interpreter keeps
    // in reserve, rather than ending the process. A later panic tries to make the type again.
    PyErr_Clear();
    PyErr_NoMemory();
    return;
  }
  PyErr_SetObject(type, value.get());
}

}  // namespace

void panic_after_error() {
  ensure_error_set();
  PyErr_WriteUnraisable(nullptr);
  throw Panic("PyObject pointer is null");
}

void raise_current_failure() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    // The interpreter keeps MemoryError instances in reserve, so this needs no memory.
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    raise_panic(e.what());
  } catch (...) {
    raise_panic("unknown internal failure");
  }
}

// ---------------------------------------------------------------------------------------
// Instances and type objects

PyTypeObject* TypeCellBase::get() noexcept {
  PyTypeObject* type = type_.load(std::memory_order_acquire);
  if (type != nullptr) return type;
  auto* made = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(spec_));
  if (made == nullptr) {
    Ref cause = fetch_error();
    Ref message = Ref::steal(
        PyUnicode_FromFormat("An error occurred while initializing class %s", name_));
    Ref error =
        message ? Ref::steal(PyObject_CallOneArg(PyExc_RuntimeError, message.get())) : Ref();
    if (!error) return nullptr;  // that failure's own error stands
    if (cause) PyException_SetCause(error.get(), cause.release());
    raise_new_exception(std::move(error));
    return nullptr;
  }
  PyTypeObject* expected = nullptr;
  if (type_.compare_exchange_strong(expected, made, std::memory_order_acq_rel,
                                    std::memory_order_acquire)) {
    return made;
  }
  Py_DECREF(made);
  return expected;
}

PyTypeObject* TypeCellBase::get_or_panic() {
  PyTypeObject* type = get();
  if (type != nullptr) return type;
  PyErr_WriteUnraisable(nullptr);
  throw Panic(std::string("failed to create type object for `") + name_ + "`");
}

Ref allocate_instance(PyTypeObject* type) noexcept {
  Ref args = Ref::steal(PyTuple_New(0));
  if (!args) return args;
  Ref obj = Ref::steal(PyBaseObject_Type.tp_new(type, args.get(), nullptr));
  if (!obj) ensure_error_set();
  return obj;
}

void raise_downcast_error(PyObject* obj, const char* target) noexcept {
  if (obj == Py_None) {
    PyErr_Format(PyExc_TypeError, "'None' is not an instance of '%s'", target);
    return;
  }
  Ref name = Ref::steal(PyType_GetQualName(Py_TYPE(obj)));
  if (!name) {
    PyErr_Clear();
    PyErr_Format(PyExc_TypeError, "'<failed to extract type name>' object is not an instance of '%s'",
                 target);
    return;
  }
  PyErr_Format(PyExc_TypeError, "'%U' object is not an instance of '%s'", name.get(), target);
}

std::optional<SharedBorrow> SharedBorrow::take(std::atomic<std::uint64_t>& count) noexcept {
  constexpr std::uint64_t exclusive = ~std::uint64_t{0};
  std::uint64_t current = count.load(std::memory_order_relaxed);
  for (;;) {
    if (current == exclusive) {
      PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
      return std::nullopt;
    }
    if (count.compare_exchange_weak(current, current + 1, std::memory_order_acq_rel,
                                    std::memory_order_relaxed)) {
      return SharedBorrow(&count);
    }
  }
}

// ---------------------------------------------------------------------------------------
// Arguments

namespace {

void raise_too_many(const Signature& sig, Py_ssize_t given) {
  PyErr_Format(PyExc_TypeError, "%s.%s() takes %zu positional arguments but %zd %s given",
               sig.class_name, sig.function_name, sig.parameters.size(), given,
               given == 1 ? "was" : "were");
}

bool fill_keyword(const Signature& sig, PyObject* name, PyObject* value,
                  std::span<Borrowed> out) {
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_Check(name) ? PyUnicode_AsUTF8AndSize(name, &size) : nullptr;
  if (utf8 != nullptr) {
    const std::string_view given(utf8, static_cast<std::size_t>(size));
    for (std::size_t i = 0; i < sig.parameters.size(); ++i) {
      if (given != sig.parameters[i]) continue;
      if (out[i]) {
        PyErr_Format(PyExc_TypeError, "%s.%s() got multiple values for argument '%s'",
                     sig.class_name, sig.function_name, sig.parameters[i]);
        return false;
      }
      out[i] = Borrowed(value);
      return true;
    }
  } else {
    // A name that has no UTF-8 form matches no parameter.
    PyErr_Clear();
  }
  PyErr_Format(PyExc_TypeError, "%s.%s() got an unexpected keyword argument '%S'",
               sig.class_name, sig.function_name, name);
  return false;
}

bool check_required(const Signature& sig, std::span<Borrowed> out) {
  std::size_t missing = 0;
  for (std::size_t i = 0; i < sig.required; ++i) {
    if (!out[i]) ++missing;
  }
  if (missing == 0) return true;
  // 'a'; 'a' and 'b'; 'a', 'b', and 'c'
  std::string names;
  std::size_t listed = 0;
  for (std::size_t i = 0; i < sig.required; ++i) {
    if (out[i]) continue;
    if (listed > 0) {
      if (missing > 2) names += ',';
      if (listed + 1 == missing) {
        names += " and";
      }
      names += ' ';
    }
    names += '\'';
    names += sig.parameters[i];
    names += '\'';
    ++listed;
  }
  PyErr_Format(PyExc_TypeError, "%s.%s() missing %zu required positional %s: %s",
               sig.class_name, sig.function_name, missing,
               missing == 1 ? "argument" : "arguments", names.c_str());
  return false;
}

}  // namespace

bool parse_fastcall(const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, std::span<Borrowed> out) {
  for (auto& slot : out) slot = Borrowed();
  if (static_cast<std::size_t>(nargs) > sig.parameters.size()) {
    raise_too_many(sig, nargs);
    return false;
  }
  for (Py_ssize_t i = 0; i < nargs; ++i) out[static_cast<std::size_t>(i)] = Borrowed(args[i]);
  if (kwnames != nullptr) {
    const Py_ssize_t count = PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < count; ++k) {
      if (!fill_keyword(sig, PyTuple_GET_ITEM(kwnames, k), args[nargs + k], out)) return false;
    }
  }
  return check_required(sig, out);
}

bool parse_tuple_dict(const Signature& sig, PyObject* args, PyObject* kwargs,
                      std::span<Borrowed> out) {
  for (auto& slot : out) slot = Borrowed();
  const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
  if (static_cast<std::size_t>(nargs) > sig.parameters.size()) {
    raise_too_many(sig, nargs);
    return false;
  }
  for (Py_ssize_t i = 0; i < nargs; ++i) {
    out[static_cast<std::size_t>(i)] = Borrowed(PyTuple_GET_ITEM(args, i));
  }
  if (kwargs != nullptr) {
    Py_ssize_t pos = 0;
    PyObject* name = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &pos, &name, &value)) {
      if (!fill_keyword(sig, name, value, out)) return false;
    }
  }
  return check_required(sig, out);
}

namespace {

// The argument-naming rule: an error that is exactly a TypeError is replaced by one whose text
// names the parameter and which keeps its __cause__; any other error goes out unchanged.
void name_argument_error(const char* parameter) noexcept {
  Ref exc = fetch_error();
  if (!exc) return;
  if (Py_TYPE(exc.get()) != reinterpret_cast<PyTypeObject*>(PyExc_TypeError)) {
    set_raised_exception(std::move(exc));
    return;
  }
  Ref text = Ref::steal(PyObject_Str(exc.get()));
  Ref message =
      text ? Ref::steal(PyUnicode_FromFormat("argument '%s': %U", parameter, text.get())) : Ref();
  Ref renamed = message ? Ref::steal(PyObject_CallOneArg(PyExc_TypeError, message.get())) : Ref();
  if (!renamed) return;  // that failure's own error stands
  if (PyObject* cause = PyException_GetCause(exc.get())) {
    PyException_SetCause(renamed.get(), cause);
  }
  raise_new_exception(std::move(renamed));
}

}  // namespace

std::optional<std::string_view> str_argument(Borrowed value, const char* parameter) {
  if (!PyUnicode_Check(value.get())) {
    raise_downcast_error(value.get(), "str");
    name_argument_error(parameter);
    return std::nullopt;
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(value.get(), &size);
  if (data == nullptr) {
    name_argument_error(parameter);
    return std::nullopt;
  }
  return std::string_view(data, static_cast<std::size_t>(size));
}

// ---------------------------------------------------------------------------------------
// Conversions

Ref to_str(std::string_view text) {
  return new_or_panic(
      PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

Ref to_list(std::span<const std::string> texts) {
  Ref list = new_or_panic(PyList_New(static_cast<Py_ssize_t>(texts.size())));
  for (std::size_t i = 0; i < texts.size(); ++i) {
    // A list left with empty slots by a failure here is still released correctly.
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), to_str(texts[i]).release());
  }
  return list;
}

Ref to_int(std::uint64_t value) {
  return new_or_panic(PyLong_FromUnsignedLongLong(static_cast<unsigned long long>(value)));
}

Ref to_float(double value) { return new_or_panic(PyFloat_FromDouble(value)); }

}  // namespace zelvar::python

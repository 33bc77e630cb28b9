// CheckResult: the read-only verdict of one check.
#include "classes.hpp"
#include "text_form.hpp"

namespace zelvar::python {
namespace {

using CheckResultObject = Instance<PyCheckResult>;

// The attribute descriptors pass only CheckResult instances, so the getters need no downcast.
CheckResultObject* as_check_result(PyObject* self) noexcept {
  return reinterpret_cast<CheckResultObject*>(self);
}

PyObject* CheckResult_get_status(PyObject* self, void*) noexcept {
  return guard([self]() -> Ref {
    auto* result = as_check_result(self);
    auto borrow = SharedBorrow::of(result);
    if (!borrow) return {};
    return to_str(result->record.status);
  });
}

PyObject* CheckResult_get_reasons(PyObject* self, void*) noexcept {
  return guard([self]() -> Ref {
    auto* result = as_check_result(self);
    auto borrow = SharedBorrow::of(result);
    if (!borrow) return {};
    return to_list(result->record.reasons);
  });
}

// tp_repr and tp_str alike.
PyObject* CheckResult_repr(PyObject* self) noexcept {
  return guard([self]() -> Ref {
    auto* result = downcast(CheckResult_type, Borrowed(self));
    if (result == nullptr) return {};
    auto borrow = SharedBorrow::of(result);
    if (!borrow) return {};
    return to_str(check_result_text(result->record.status, result->record.reasons));
  });
}

PyObject* CheckResult_alloc(PyTypeObject* type, Py_ssize_t nitems) noexcept {
  return alloc_instance<PyCheckResult>(type, nitems);
}

void CheckResult_dealloc(PyObject* self) noexcept { dealloc_instance<PyCheckResult>(self); }

PyGetSetDef CheckResult_getset[] = {
    {.name = "status", .get = CheckResult_get_status, .set = nullptr, .doc = "", .closure = nullptr},
    {.name = "reasons", .get = CheckResult_get_reasons, .set = nullptr, .doc = "", .closure = nullptr},
    {},
};

PyType_Slot CheckResult_slots[] = {
    {Py_tp_repr, as_slot(CheckResult_repr)},
    {Py_tp_str, as_slot(CheckResult_repr)},
    {Py_tp_getset, CheckResult_getset},
    {Py_tp_base, &PyBaseObject_Type},
    {Py_tp_alloc, as_slot(CheckResult_alloc)},
    {Py_tp_dealloc, as_slot(CheckResult_dealloc)},
    {0, nullptr},
};

PyType_Spec CheckResult_spec = {
    .name = "builtins.CheckResult",
    .basicsize = static_cast<int>(sizeof(CheckResultObject)),
    .itemsize = 0,
    .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    .slots = CheckResult_slots,
};

}  // namespace

constinit TypeCell<PyCheckResult> CheckResult_type("CheckResult", &CheckResult_spec);

Ref CheckResult_from(PyCheckResult record) {
  PyTypeObject* type = CheckResult_type.get_or_panic();
  return make_instance(type, std::move(record));
}

}  // namespace zelvar::python

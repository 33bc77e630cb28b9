// TldInfo: a read-only snapshot of one registration rule.
#include <optional>
#include <string>
#include <vector>

#include "classes.hpp"
#include "text_form.hpp"

namespace zelvar::python {
namespace {

using TldInfoObject = Instance<PyTldInfo>;

Ref to_python(const std::string& text) { return to_str(text); }
Ref to_python(const std::optional<std::string>& text) { return text ? to_str(*text) : none(); }
Ref to_python(const std::vector<std::string>& texts) { return to_list(texts); }
Ref to_python(std::uint8_t value) { return to_int(value); }

// One getter per record field. The attribute descriptors pass only TldInfo instances, so the
// field getters need no downcast.
template <auto Field>
PyObject* TldInfo_get(PyObject* self, void*) noexcept {
  return guard([self]() -> Ref {
    auto* info = reinterpret_cast<TldInfoObject*>(self);
    auto borrow = SharedBorrow::of(info);
    if (!borrow) return {};
    return to_python(info->record.*Field);
  });
}

PyObject* TldInfo_get_sources(PyObject* self, void*) noexcept {
  return guard([self]() -> Ref {
    auto* info = downcast(TldInfo_type, Borrowed(self));
    if (info == nullptr) return {};
    auto borrow = SharedBorrow::of(info);
    if (!borrow) return {};
    Ref dict = new_or_panic(PyDict_New());
    // The map is in ascending key order, and a dict keeps the order of insertion.
    for (const auto& [field, url] : info->record.sources) {
      Ref key = to_str(field);
      Ref value = to_str(url);
      if (PyDict_SetItem(dict.get(), key.get(), value.get()) < 0) {
        throw Panic("failed to set source item: " + describe_raised_exception());
      }
    }
    return dict;
  });
}

PyObject* TldInfo_repr(PyObject* self) noexcept {
  return guard([self]() -> Ref {
    auto* info = downcast(TldInfo_type, Borrowed(self));
    if (info == nullptr) return {};
    auto borrow = SharedBorrow::of(info);
    if (!borrow) return {};
    return to_str(tld_info_text(info->record.tld, info->record.registerable));
  });
}

PyObject* TldInfo_alloc(PyTypeObject* type, Py_ssize_t nitems) noexcept {
  return alloc_instance<PyTldInfo>(type, nitems);
}

void TldInfo_dealloc(PyObject* self) noexcept { dealloc_instance<PyTldInfo>(self); }

template <auto Field>
constexpr PyGetSetDef field(const char* name) {
  return {.name = name, .get = TldInfo_get<Field>, .set = nullptr, .doc = "", .closure = nullptr};
}

PyGetSetDef TldInfo_getset[] = {
    field<&PyTldInfo::tld>("tld"),
    field<&PyTldInfo::registerable>("registerable"),
    field<&PyTldInfo::reason>("reason"),
    field<&PyTldInfo::note>("note"),
    field<&PyTldInfo::restrictions>("restrictions"),
    field<&PyTldInfo::min_length>("min_length"),
    field<&PyTldInfo::max_length>("max_length"),
    field<&PyTldInfo::length_basis>("length_basis"),
    field<&PyTldInfo::banned>("banned"),
    field<&PyTldInfo::charset>("charset"),
    field<&PyTldInfo::idn_chars>("idn_chars"),
    {.name = "sources", .get = TldInfo_get_sources, .set = nullptr, .doc = "", .closure = nullptr},
    {},
};

PyType_Slot TldInfo_slots[] = {
    {Py_tp_repr, as_slot(TldInfo_repr)},
    {Py_tp_getset, TldInfo_getset},
    {Py_tp_base, &PyBaseObject_Type},
    {Py_tp_alloc, as_slot(TldInfo_alloc)},
    {Py_tp_dealloc, as_slot(TldInfo_dealloc)},
    {0, nullptr},
};

PyType_Spec TldInfo_spec = {
    .name = "builtins.TldInfo",
    .basicsize = static_cast<int>(sizeof(TldInfoObject)),
    .itemsize = 0,
    .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    .slots = TldInfo_slots,
};

}  // namespace

constinit TypeCell<PyTldInfo> TldInfo_type("TldInfo", &TldInfo_spec);

Ref TldInfo_from(PyTldInfo record) {
  PyTypeObject* type = TldInfo_type.get_or_panic();
  return make_instance(type, std::move(record));
}

}  // namespace zelvar::python

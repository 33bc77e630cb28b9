// Registry: the entry object through which Python reaches the checker.
#include <array>
#include <cstdint>
#include <optional>

#include "classes.hpp"
#include "generated.hpp"
#include "registry.hpp"
#include "types.hpp"

namespace zelvar::python {
namespace {

using RegistryObject = Instance<PyRegistry>;

constexpr const char* domain_parameter[] = {"domain"};
constexpr const char* tld_parameter[] = {"tld"};

constexpr Signature new_signature{"Registry", "__new__", std::span<const char* const>(), 0};
constexpr Signature check_signature{"Registry", "check", domain_parameter, 1};
constexpr Signature tld_info_signature{"Registry", "tld_info", tld_parameter, 1};

PyObject* Registry_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
  return guard([&]() -> Ref {
    if (!parse_tuple_dict(new_signature, args, kwargs, {})) return {};
    return make_instance(type, PyRegistry{});
  });
}

// Every method body runs with `self` downcast and a shared borrow held.
template <class Body>
Ref with_registry(PyObject* self, Body&& body) {
  auto* registry = downcast(Registry_type, Borrowed(self));
  if (registry == nullptr) return {};
  auto borrow = SharedBorrow::of(registry);
  if (!borrow) return {};
  return body();
}

// The methods that take one text: parse it, then downcast, borrow and extract its UTF-8.
template <class Body>
PyObject* text_method(const Signature& signature, PyObject* self, PyObject* const* args,
                      Py_ssize_t nargs, PyObject* kwnames, Body&& body) noexcept {
  return guard([&]() -> Ref {
    std::array<Borrowed, 1> values;
    if (!parse_fastcall(signature, args, nargs, kwnames, values)) return {};
    return with_registry(self, [&]() -> Ref {
      const auto text = str_argument(values[0], signature.parameters[0]);
      if (!text) return {};
      return body(*text);
    });
  });
}

PyObject* Registry_check(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) noexcept {
  return text_method(check_signature, self, args, nargs, kwnames, [](std::string_view domain) {
    types::CheckResult verdict = registry::Registry{}.check(domain);
    return CheckResult_from(PyCheckResult{
        .status = std::string(types::word(verdict.status)),
        .reasons = std::move(verdict.reasons),
    });
  });
}

PyObject* Registry_tld_info(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) noexcept {
  return text_method(tld_info_signature, self, args, nargs, kwnames, [](std::string_view tld) {
    const std::optional<types::TldRule> rule = registry::Registry{}.tld_info(tld);
    if (!rule) return none();
    PyTldInfo record = types::TldRuleSummary::from(*rule);
    record.sources = make_source_map(std::move(record.sources));
    return TldInfo_from(std::move(record));
  });
}

PyObject* Registry_rule_count(PyObject* self, PyObject*) noexcept {
  return guard([&]() -> Ref {
    return with_registry(self, [] { return to_int(generated::TLD_RULES.size()); });
  });
}

void insert_stat(PyObject* dict, const char* key, Ref value) {
  Ref name = to_str(key);
  if (PyDict_SetItem(dict, name.get(), value.get()) < 0) {
    throw Panic("set " + std::string(key) + ": " + describe_raised_exception());
  }
}

// Counted afresh at every call: the table is the only source of truth.
Ref stats_body() {
  std::uint64_t yes = 0;
  std::uint64_t no = 0;
  std::uint64_t restricted = 0;
  for (const auto& entry : generated::TLD_RULES) {
    switch (entry.rule.registerable) {
      case types::RuleStatus::Yes: ++yes; break;
      case types::RuleStatus::No: ++no; break;
      case types::RuleStatus::Restricted: ++restricted; break;
    }
  }
  const std::uint64_t size = generated::TLD_RULES.size();
  Ref dict = new_or_panic(PyDict_New());
  insert_stat(dict.get(), "compiled_rules", to_int(size));
  insert_stat(dict.get(), "total_known_suffixes", to_int(size));
  insert_stat(dict.get(), "registerable", to_int(yes));
  insert_stat(dict.get(), "not_registerable", to_int(no));
  insert_stat(dict.get(), "restricted", to_int(restricted));
  insert_stat(dict.get(), "coverage_percent", to_float(100.0));
  return dict;
}

PyObject* Registry_stats(PyObject* self, PyObject*) noexcept {
  return guard([&]() -> Ref { return with_registry(self, stats_body); });
}

PyObject* Registry_alloc(PyTypeObject* type, Py_ssize_t nitems) noexcept {
  return alloc_instance<PyRegistry>(type, nitems);
}

void Registry_dealloc(PyObject* self) noexcept { dealloc_instance<PyRegistry>(self); }

PyMethodDef Registry_methods[] = {
    {.ml_name = "check",
     .ml_meth = as_method(Registry_check),
     .ml_flags = METH_FASTCALL | METH_KEYWORDS,
     .ml_doc = "check($self, domain)\n--\n\n"},
    {.ml_name = "tld_info",
     .ml_meth = as_method(Registry_tld_info),
     .ml_flags = METH_FASTCALL | METH_KEYWORDS,
     .ml_doc = "tld_info($self, tld)\n--\n\n"},
    {.ml_name = "rule_count",
     .ml_meth = as_method(Registry_rule_count),
     .ml_flags = METH_NOARGS,
     .ml_doc = "rule_count($self)\n--\n\n"},
    {.ml_name = "stats",
     .ml_meth = as_method(Registry_stats),
     .ml_flags = METH_NOARGS,
     .ml_doc = "stats($self)\n--\n\n"},
    {},
};

PyType_Slot Registry_slots[] = {
    {Py_tp_doc, const_cast<char*>("Registry()\n--\n\n")},
    {Py_tp_new, as_slot(Registry_new)},
    {Py_tp_methods, Registry_methods},
    {Py_tp_base, &PyBaseObject_Type},
    {Py_tp_alloc, as_slot(Registry_alloc)},
    {Py_tp_dealloc, as_slot(Registry_dealloc)},
    {0, nullptr},
};

PyType_Spec Registry_spec = {
    .name = "builtins.Registry",
    .basicsize = static_cast<int>(sizeof(RegistryObject)),
    .itemsize = 0,
    .flags = Py_TPFLAGS_DEFAULT,
    .slots = Registry_slots,
};

}  // namespace

constinit TypeCell<PyRegistry> Registry_type("Registry", &Registry_spec);

}  // namespace zelvar::python

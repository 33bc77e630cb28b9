// The extension module _native: its definition, its exec step and its one exported symbol.
#include "capi.hpp"
#include "classes.hpp"

namespace zelvar::python::_native {
namespace {

// The module's __all__: read, or made when the module has none yet.
Ref module_all(PyObject* module) {
  Ref key = new_or_panic(PyUnicode_InternFromString("__all__"));
  Ref all = Ref::steal(PyObject_GetAttr(module, key.get()));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return {};
    PyErr_Clear();
    Ref fresh = new_or_panic(PyList_New(0));
    if (PyObject_SetAttr(module, key.get(), fresh.get()) < 0) return {};
    return fresh;
  }
  if (!PyList_Check(all.get())) {
    raise_downcast_error(all.get(), "list");
    return {};
  }
  return all;
}

// Lists the class's name in __all__, then binds the name to the type object.
bool add_class(PyObject* module, TypeCellBase& cell) {
  PyTypeObject* type = cell.get();
  if (type == nullptr) return false;
  Ref name = new_or_panic(PyUnicode_FromString(cell.name()));
  Ref all = module_all(module);
  if (!all) return false;
  if (PyList_Append(all.get(), name.get()) < 0) {
    throw Panic("could not append __name__ to __all__: " + describe_raised_exception());
  }
  return PyObject_SetAttr(module, name.get(), reinterpret_cast<PyObject*>(type)) == 0;
}

// The type objects exist once per process and belong to the main interpreter: handed to another
// interpreter they would be shared with it (its method cache can then answer their lookups from
// its own classes). So any other interpreter is refused, with the text the interpreter itself
// gives an isolated subinterpreter.
bool require_main_interpreter() noexcept {
  if (PyInterpreterState_Get() == PyInterpreterState_Main()) return true;
  PyErr_SetString(PyExc_ImportError,
                  "module zelvar._native does not support loading in subinterpreters");
  return false;
}

int native_exec(PyObject* module) noexcept {
  return guard_status([module] {
    if (module == nullptr) {
      ensure_error_set();
      return false;
    }
    if (!PyModule_Check(module)) {
      raise_downcast_error(module, "module");
      return false;
    }
    if (!require_main_interpreter()) return false;
    for (TypeCellBase* cell : {static_cast<TypeCellBase*>(&Registry_type),
                               static_cast<TypeCellBase*>(&CheckResult_type),
                               static_cast<TypeCellBase*>(&TldInfo_type)}) {
      if (!add_class(module, *cell)) return false;
    }
    return true;
  });
}

PyModuleDef_Slot native_slots[] = {
    {Py_mod_exec, as_slot(native_exec)},
#if PY_VERSION_HEX >= 0x030D0000
    // Nothing here relies on the interpreter lock: shared state is atomic, records immutable.
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
#endif
    {0, nullptr},
};

}  // namespace

PyModuleDef native_module = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "_native",
    .m_doc = "",
    .m_size = 0,
    .m_methods = nullptr,
    .m_slots = native_slots,
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = nullptr,
};

}  // namespace zelvar::python::_native

PyMODINIT_FUNC PyInit__native() {
  return PyModuleDef_Init(&zelvar::python::_native::native_module);
}

// The three classes of the module: their type-object cells and the makers of new objects.
#pragma once

#include "capi.hpp"
#include "records.hpp"

namespace zelvar::python {

extern TypeCell<PyRegistry> Registry_type;
extern TypeCell<PyCheckResult> CheckResult_type;
extern TypeCell<PyTldInfo> TldInfo_type;

// New objects that take over their record; empty with the interpreter's error raised when the
// object cannot be allocated (the record is then released).
Ref CheckResult_from(PyCheckResult record);
Ref TldInfo_from(PyTldInfo record);

}  // namespace zelvar::python

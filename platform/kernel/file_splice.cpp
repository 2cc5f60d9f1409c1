#include "platform/kernel/file_splice.h"

#include <windows.h>

#include "platform/kernel/file_object.h"
#include "platform/kernel/handle_table.h"

namespace qb::kernel {

bool AcceptsSplice(HANDLE file) {
    HandleRef<FileObject> object = LookupHandleAs<FileObject>(file, ObjectKind::kFile);
    return !(object == nullptr) && object->AcceptsSplice();
}

BOOL SpliceIntoFile(HANDLE file, int pipeOut, size_t length, size_t* done) {
    *done = 0;
    HandleRef<FileObject> object = LookupHandleAs<FileObject>(file, ObjectKind::kFile);
    if (object == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return object->WriteFromPipe(pipeOut, length, done);
}

} // namespace qb::kernel

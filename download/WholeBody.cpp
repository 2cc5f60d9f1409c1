#include "download/WholeBody.h"

#include "core/AppState.h"
#include "download/TransferState.h"
#include "http/HttpClient.h"
#include "storage/FileStream.h"
#include "storage/FileSystem.h"

bool ServerSentWholeBody() {
    return gHttpClient->IsOpen() && gHttpClient->Position() == 0;
}

bool StartFileOver(LPCWSTR target) {
    gFileStream->CloseFile(); // what it still held back is given up with the rest
    gTransfer.received.store(0, std::memory_order_relaxed);
    if (gFileSystem->CreateEmptyFile(target, kCreateOrTruncateFile) < 0 ||
        gFileStream->Open(target, FALSE) <= 0) {
        return false;
    }
    uint64_t whole = kUnknownSize;
    gHttpClient->GetSize(&whole);
    gTransfer.totalSize.store(whole, std::memory_order_relaxed);
    return true;
}

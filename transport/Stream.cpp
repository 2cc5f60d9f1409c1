#include "transport/Stream.h"

#include "base/Results.h"

namespace {

int CallSize(Stream* stream, uint64_t* size) {
    return stream == nullptr ? kResultFail : stream->GetSize(size);
}
int CallSeek(Stream* stream, const int64_t* offset, uint64_t* position, DWORD origin) {
    return stream == nullptr ? kResultFail : stream->Seek(offset, position, origin);
}
int CallRead(Stream* stream, void* buffer, DWORD* count) {
    return stream == nullptr ? kResultFail : stream->Read(buffer, count);
}
int CallWrite(Stream* stream, const void* data, DWORD* count) {
    return stream == nullptr ? kResultFail : stream->Write(data, count);
}

} // namespace

int Stream::GetAccessor(StreamAccessor* record) {
    if (record == nullptr) return kResultNullArgument;
    if (record->recordSize < sizeof(StreamAccessor)) return kResultRecordTooSmall;
    record->recordSize = sizeof(StreamAccessor);
    record->stream = this;
    record->size = CallSize;
    record->seek = CallSeek;
    record->read = CallRead;
    record->write = CallWrite;
    ++referenceCount_;
    return kResultOk;
}

int Stream::GetAccessorWhenOpen(StreamAccessor* record, bool open) {
    if (record == nullptr) return kResultNullArgument;
    if (!open) return kResultFail;
    return Stream::GetAccessor(record); // not the override that called this
}

int Stream::Release() {
    if (referenceCount_ == 0) return kResultFail;
    --referenceCount_;
    return kResultOk;
}

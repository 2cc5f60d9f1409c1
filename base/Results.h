// The system's result integers. Every operation returns one of these (or a small positive
// code of its own, named where it is declared); callers mostly test only the sign.
#pragma once

constexpr int kResultOk = 1;        // success, yes, found
constexpr int kResultNo = 0;        // a negative answer or nothing to do
constexpr int kResultTruncated = 0; // a bounded copy had to cut the text
constexpr int kResultEnd = 0;       // the end of the data
constexpr int kResultOverflow = 2;  // a decimal was parsed, but it did not fit 32 bits

constexpr int kResultFail = -1;             // the operation or the platform failed, or not open
constexpr int kResultNoMemory = -2;         // an allocation failed
constexpr int kResultCancelled = -3;        // the caller asked to stop before the end
constexpr int kResultNullArgument = -4;     // a required pointer was null, or a capacity was 0
constexpr int kResultAbsent = -10;          // property list: no entry with that key
constexpr int kResultRecordTooSmall = -98;  // the caller's record is smaller than needed
constexpr int kResultFull = -99;            // property list: all entries in use
constexpr int kResultNotConvertible = -100; // property list: the value has no such form

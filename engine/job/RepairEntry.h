/* RepairEntry.h: the engine's one entry point and the block a caller hands it.
 *
 * Plain C so that any front end can bind libKRV.so. The caller fills a RepairRequest,
 * XORs every byte of it with RequestMask (KrvMaskRequest does that), and passes a pointer
 * to the masked block. The engine unmasks a copy and never writes the caller's block.
 *
 * Layout on 64-bit Linux: six pointer-sized fields, 48 bytes.
 *
 *   offset  field        meaning
 *   0       sourcePath   zero-terminated 8-bit path of the damaged file
 *   8       sizeLimit    pointer to a 32-bit output size limit in megabytes (always read)
 *   16      flags        RepairFlags in the low 32 bits
 *   24      outputPath   zero-terminated 8-bit path of the .pst to create
 *   32      callback     ProgressCallback, or null for a silent run
 *   40      userData     handed back unchanged as the callback's third argument
 */
#ifndef KRV_ENGINE_JOB_REPAIRENTRY_H
#define KRV_ENGINE_JOB_REPAIRENTRY_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(KRV_BUILDING_LIBRARY)
#define KRV_EXPORT __attribute__((visibility("default")))
#else
#define KRV_EXPORT
#endif

/* Message codes sent through the ProgressCallback. */
enum EngineMessage {
    MsgProgress = 0,      /* data: const uint8_t*, percent 0..100 */
    MsgSourceName = 11,   /* data: const char*, the source path as given */
    MsgLogLine = 44,      /* data: const char*, a line for the repair log */
    MsgAbortQuery = 51,   /* data: null; a nonzero answer stops the job */
    MsgError = 53,        /* data: const char*, an error text */
    MsgItemCount = 57,    /* data: const uint32_t*, items recovered by the job */
    MsgCloseRequest = 58, /* data: null; the front end should close */
    MsgAlert = 200        /* data: const char*, a text the user must acknowledge */
};

/* Option word. Bits 7, 14 and 15 are unused; the two format bytes hold a PstFormat. */
enum RepairFlags {
    FlagFastRecovery = 0x00000001u,
    FlagHeuristicRecoverRoot = 0x00000002u,
    FlagRecoverUnattchedAttach = 0x00000004u,
    FlagSplitOversizePST = 0x00000008u,
    FlagIgnoreZeroBlock = 0x00000010u,
    FlagAlwaysIPMSubtree = 0x00000020u,
    FlagOfflineFolderFile = 0x00000040u,
    FlagLevel1Recovery = 0x00000100u,
    FlagLevel2Recovery = 0x00000200u,
    FlagLevel3Recovery = 0x00000400u,
    FlagLevel4Recovery = 0x00000800u,
    FlagLevel5Recovery = 0x00001000u,
    FlagRemoveEmptyFolder = 0x00002000u,
    FlagSourceFormatMask = 0x00FF0000u,
    FlagOutputFormatMask = 0xFF000000u
};
#define KRV_SOURCE_FORMAT_SHIFT 16
#define KRV_OUTPUT_FORMAT_SHIFT 24

/* Layout choice for source and output: values other than 0 and 2 act as Ansi, except that a
   source may also be PstFormatUnicode4k, the 4 KiB-page layout of offline folder files of
   Outlook 2013 and later (never an output layout: as an output format it acts as Ansi). */
enum PstFormat { PstFormatAuto = 0, PstFormatAnsi = 1, PstFormatUnicode = 2, PstFormatUnicode4k = 3 };

typedef int32_t (*ProgressCallback)(int32_t code, void* data, uintptr_t userData);

typedef struct RepairRequest {
    const char* sourcePath;
    const uint32_t* sizeLimit;
    uintptr_t flags;
    const char* outputPath;
    ProgressCallback callback;
    uintptr_t userData;
} RepairRequest;

/* The byte every byte of a RepairRequest is XORed with; fixed for all deliverables. */
#define RequestMask ((uint8_t)0xA5)

/* Masks (or unmasks: XOR is its own inverse) a request in place. */
static inline void KrvMaskRequest(RepairRequest* request)
{
    unsigned char* bytes = (unsigned char*)request;
    for (size_t i = 0; i < sizeof(RepairRequest); ++i) bytes[i] ^= RequestMask;
}

/* Runs one repair synchronously on the calling thread. Returns 1 when at least one item
 * was recovered, else 0. Every failure is reported through the callback. */
KRV_EXPORT int32_t RepairEntry(const RepairRequest* request);

#ifdef __cplusplus
}
static_assert(sizeof(RepairRequest) == 6 * sizeof(void*), "RepairRequest is six pointer-sized fields");
#endif

#endif

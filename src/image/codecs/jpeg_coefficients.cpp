// libjpeg lets its memory manager's methods be replaced; only the
// whole-image coefficient arrays are ours, everything else stays libjpeg's.
#include "image/codecs/jpeg_coefficients.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <new>

#include <jerror.h>

namespace orbelune {

namespace {

struct CoefficientArray {
    JBLOCKARRAY rows = nullptr;  // every row, into `memory`
    JDIMENSION rowCount = 0;
    JDIMENSION blocksPerRow = 0;
    JDIMENSION released = 0;        // rows below this are done with
    std::uintptr_t releasedTo = 0;  // pages below this went back to the system
    int pool = JPOOL_IMAGE;
    void* memory = nullptr;
    std::size_t bytes = 0;
    CoefficientArray* next = nullptr;
};

// libjpeg's own methods, and our arrays; in libjpeg's permanent pool.
struct ArrayStore {
    decltype(jpeg_memory_mgr::realize_virt_arrays) realize;
    decltype(jpeg_memory_mgr::free_pool) freePool;
    decltype(jpeg_memory_mgr::self_destruct) selfDestruct;
    CoefficientArray* arrays;
};

ArrayStore& StoreOf(j_common_ptr cinfo) {
    return *static_cast<ArrayStore*>(cinfo->client_data);
}

CoefficientArray* ArrayOf(jvirt_barray_ptr array) {
    return reinterpret_cast<CoefficientArray*>(array);
}

// Like libjpeg's own ERREXIT: error_exit does not return.
void Fail(j_common_ptr cinfo, int code) {
    cinfo->err->msg_code = code;
    (*cinfo->err->error_exit)(cinfo);
}

void Unmap(CoefficientArray& array) {
    if (array.memory != nullptr) ::munmap(array.memory, array.bytes);
    array.memory = nullptr;
    array.rows = nullptr;
}

jvirt_barray_ptr RequestArray(j_common_ptr cinfo, int pool, boolean /*preZero*/,
                              JDIMENSION blocksPerRow, JDIMENSION rowCount,
                              JDIMENSION /*maxAccess*/) {
    if (pool != JPOOL_IMAGE) {
        Fail(cinfo, JERR_BAD_POOL_ID);
        return nullptr;
    }
    auto* array =
        new ((*cinfo->mem->alloc_small)(cinfo, pool, sizeof(CoefficientArray))) CoefficientArray{};
    array->rowCount = rowCount;
    array->blocksPerRow = blocksPerRow;
    array->pool = pool;
    ArrayStore& store = StoreOf(cinfo);
    array->next = store.arrays;
    store.arrays = array;
    return reinterpret_cast<jvirt_barray_ptr>(array);
}

// Fresh anonymous pages read as zeros, which is what libjpeg's pre-zeroing
// asks for.
void RealizeArrays(j_common_ptr cinfo) {
    ArrayStore& store = StoreOf(cinfo);
    (*store.realize)(cinfo);  // libjpeg's sample arrays
    for (CoefficientArray* array = store.arrays; array != nullptr; array = array->next) {
        if (array->memory != nullptr) continue;
        const std::size_t rowBytes = static_cast<std::size_t>(array->blocksPerRow) * sizeof(JBLOCK);
        if (rowBytes == 0 || array->rowCount == 0) continue;  // never read
        if (array->rowCount > SIZE_MAX / rowBytes) {
            Fail(cinfo, JERR_OUT_OF_MEMORY);
            return;
        }
        array->bytes = rowBytes * array->rowCount;
        void* memory = ::mmap(nullptr, array->bytes, PROT_READ | PROT_WRITE,
                              MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) {
            Fail(cinfo, JERR_OUT_OF_MEMORY);
            return;
        }
        array->memory = memory;
        array->releasedTo = reinterpret_cast<std::uintptr_t>(memory);
        array->rows = static_cast<JBLOCKARRAY>(
            (*cinfo->mem->alloc_large)(cinfo, array->pool, sizeof(JBLOCKROW) * array->rowCount));
        auto* row = static_cast<JBLOCKROW>(memory);
        for (JDIMENSION i = 0; i < array->rowCount; ++i, row += array->blocksPerRow)
            array->rows[i] = row;
    }
}

// Marks rows below `below` done and hands back every whole page they fill; a
// page shared with a later row waits for the next call.
void ReleaseRowsBelow(CoefficientArray& array, JDIMENSION below) {
    if (below <= array.released) return;
    static const auto kPage = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto end = reinterpret_cast<std::uintptr_t>(
        array.rows[0] + static_cast<std::size_t>(below) * array.blocksPerRow);
    const std::uintptr_t to = end & ~(kPage - 1);
    if (to > array.releasedTo) {
        ::madvise(reinterpret_cast<void*>(array.releasedTo), to - array.releasedTo, MADV_DONTNEED);
        array.releasedTo = to;
    }
    array.released = below;
}

JBLOCKARRAY AccessArray(j_common_ptr cinfo, jvirt_barray_ptr handle, JDIMENSION startRow,
                        JDIMENSION rowCount, boolean writable) {
    CoefficientArray& array = *ArrayOf(handle);
    if (array.rows == nullptr || startRow > array.rowCount ||
        rowCount > array.rowCount - startRow || startRow < array.released) {
        Fail(cinfo, JERR_BAD_VIRTUAL_ACCESS);
        return nullptr;
    }
    // All scans are read (writing) before the output pass reads the rows once,
    // top to bottom, each read starting at or after the one before.
    if (!writable) ReleaseRowsBelow(array, startRow);
    return array.rows + startRow;
}

void FreePool(j_common_ptr cinfo, int pool) {
    ArrayStore& store = StoreOf(cinfo);
    CoefficientArray** link = &store.arrays;
    while (*link != nullptr) {
        CoefficientArray* array = *link;
        if (array->pool == pool) {
            Unmap(*array);
            *link = array->next;  // its record goes with the pool
        } else {
            link = &array->next;
        }
    }
    (*store.freePool)(cinfo, pool);
}

void SelfDestruct(j_common_ptr cinfo) {
    ArrayStore& store = StoreOf(cinfo);
    for (CoefficientArray* array = store.arrays; array != nullptr; array = array->next)
        Unmap(*array);
    store.arrays = nullptr;
    (*store.selfDestruct)(cinfo);
}

}  // namespace

void UseReleasingCoefficientArrays(j_decompress_ptr info) {
    auto* common = reinterpret_cast<j_common_ptr>(info);
    jpeg_memory_mgr& mem = *info->mem;
    auto* store =
        static_cast<ArrayStore*>((*mem.alloc_small)(common, JPOOL_PERMANENT, sizeof(ArrayStore)));
    store->realize = mem.realize_virt_arrays;
    store->freePool = mem.free_pool;
    store->selfDestruct = mem.self_destruct;
    store->arrays = nullptr;
    info->client_data = store;
    mem.request_virt_barray = &RequestArray;
    mem.realize_virt_arrays = &RealizeArrays;
    mem.access_virt_barray = &AccessArray;
    mem.free_pool = &FreePool;
    mem.self_destruct = &SelfDestruct;
}

}  // namespace orbelune

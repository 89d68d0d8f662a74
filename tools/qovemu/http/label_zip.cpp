#include "label_zip.h"

#include <zip.h>

#include <cstdio>
#include <memory>

namespace qovemu {

namespace {

struct SourceFree {
    void operator()(zip_source_t* s) const { zip_source_free(s); }
};

std::string failure(const char* what, zip_error_t* e) {
    std::string text = std::string(what) + ": " + zip_error_strerror(e);
    zip_error_fini(e);
    return text;
}

}  // namespace

bool zipFiles(const std::vector<ZipEntry>& files, std::string& out, std::string& error) {
    out.clear();
    zip_error_t ze;
    zip_error_init(&ze);
    // The archive is written into this buffer source, kept past zip_close.
    std::unique_ptr<zip_source_t, SourceFree> buffer(zip_source_buffer_create(nullptr, 0, 0, &ze));
    if (!buffer) {
        error = failure("cannot start the ZIP", &ze);
        return false;
    }
    zip_t* archive = zip_open_from_source(buffer.get(), ZIP_TRUNCATE, &ze);
    if (!archive) {
        error = failure("cannot start the ZIP", &ze);
        return false;
    }
    zip_source_keep(buffer.get());
    for (const ZipEntry& f : files) {
        // libzip reads the bytes at zip_close; `files` outlives it.
        zip_source_t* data = zip_source_buffer(archive, f.second.data(), f.second.size(), 0);
        const zip_int64_t index = data ? zip_file_add(archive, f.first.c_str(), data, ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0) {
            if (data) zip_source_free(data);
            error = std::string("cannot add ") + f.first + " to the ZIP: " + zip_strerror(archive);
            zip_discard(archive);
            return false;
        }
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
    }
    if (zip_close(archive) != 0) {
        error = std::string("cannot write the ZIP: ") + zip_strerror(archive);
        zip_discard(archive);
        return false;
    }
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_source_stat(buffer.get(), &st) != 0 || !(st.valid & ZIP_STAT_SIZE) || zip_source_open(buffer.get()) != 0) {
        error = "cannot read the ZIP back";
        return false;
    }
    out.resize(st.size);
    const zip_int64_t got = st.size ? zip_source_read(buffer.get(), &out[0], st.size) : 0;
    zip_source_close(buffer.get());
    if (got < 0 || static_cast<zip_uint64_t>(got) != st.size) {
        out.clear();
        error = "cannot read the ZIP back";
        return false;
    }
    return true;
}

}  // namespace qovemu

// Each output decided once.
#include "OutputJob.h"

#include <filesystem>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include "Text.h"

namespace korvale {

std::optional<std::string> OutputFileName(const std::string& sourcePath, SaveFormat format) {
    std::string name(FileNameOf(sourcePath));
    if (format == SaveFormat::SameAsSource) {
        return name;
    }
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) {
        return std::nullopt;
    }
    ImageFormat output = ImageFormat::Jpeg;
    switch (format) {
        case SaveFormat::Bmp:
            output = ImageFormat::Bmp;
            break;
        case SaveFormat::Png:
            output = ImageFormat::Png;
            break;
        case SaveFormat::Tiff:
            output = ImageFormat::Tiff;
            break;
        case SaveFormat::Webp:
            output = ImageFormat::Webp;
            break;
        case SaveFormat::Avif:
            output = ImageFormat::Avif;
            break;
        case SaveFormat::Jpeg:
        case SaveFormat::SameAsSource:
            break;
    }
    return name.substr(0, dot) + OutputExtension(output);
}

PixelSize TargetOf(const BatchRequest& request, const FileEntry& entry) {
    return {request.applyWidth ? request.targetWidth : static_cast<int>(entry.width),
            request.applyHeight ? request.targetHeight : static_cast<int>(entry.height)};
}

uint32_t OutputDpi(const BatchRequest& request, const FileEntry& entry) {
    return request.applyDpi ? request.targetDpi : entry.dpi;
}

std::string OutputFolderOf(const BatchRequest& request) {
    std::string folder = request.outputFolder;
    if (!folder.empty() && folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

std::string NormalPath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

namespace {

OutputJob Job(const BatchRequest& request, const std::string& folder, const FileEntry& entry,
              size_t index) {
    OutputJob job;
    job.index = index;
    job.source = entry;
    job.sourceFormat = FormatOfName(entry.path);
    job.method = request.method;
    job.metadata = request.metadata;
    job.target = TargetOf(request, entry);
    job.dpi = OutputDpi(request, entry);
    // DPI only keeps each file's own name and format.
    const std::optional<std::string> name =
        OutputFileName(entry.path, job.dpiOnly() ? SaveFormat::SameAsSource : request.saveFormat);
    if (name) {
        job.outputName = *name;
        job.outputFormat = OutputFormatOfName(*name);
        job.outputPath = folder.empty() ? std::string() : folder + *name;
    }
    return job;
}

// The folder of a normalised path, "/" at its end.
std::string NormalFolderOf(const std::string& path) {
    std::string folder = NormalPath(path);
    if (folder.empty() || folder.back() != '/') {
        folder = FolderOf(folder);
    }
    return folder;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// Numbers the jobs whose outputs clash, in list order (see OutputJobs).
void NumberClashes(std::vector<OutputJob>& jobs) {
    std::unordered_set<std::string> written;  // every job's own output
    std::unordered_set<std::string> sources;
    std::unordered_map<std::string, size_t> lastReader;  // the last job that reads a path
    std::vector<std::string> keys(jobs.size());
    for (size_t i = 0; i < jobs.size(); ++i) {
        if (!jobs[i].outputPath.empty()) {
            keys[i] = NormalPath(jobs[i].outputPath);
            written.insert(keys[i]);
        }
        const std::string source = NormalPath(jobs[i].source.path);
        sources.insert(source);
        lastReader[source] = i;
    }
    const auto readLater = [&](const std::string& key, size_t i) {
        const auto found = lastReader.find(key);
        return found != lastReader.end() && found->second > i;
    };
    std::unordered_set<std::string> taken;
    for (size_t i = 0; i < jobs.size(); ++i) {
        OutputJob& job = jobs[i];
        if (keys[i].empty()) {
            continue;
        }
        if (taken.count(keys[i]) == 0 && !readLater(keys[i], i)) {
            taken.insert(keys[i]);
            continue;
        }
        const std::string folder = FolderOf(job.outputPath);
        for (int n = 2;; ++n) {
            const std::string name = NumberedName(job.outputName, n);
            const std::string key = NormalPath(folder + name);
            if (taken.count(key) == 0 && written.count(key) == 0 && sources.count(key) == 0) {
                taken.insert(key);
                job.outputName = name;
                job.outputPath = folder + name;
                break;
            }
        }
    }
}

}  // namespace

std::string NumberedName(const std::string& name, int n) {
    const size_t dot = name.rfind('.');
    const std::string number = FormatText(" (%d)", n);
    if (dot == std::string::npos || dot == 0) {
        return name + number;
    }
    return name.substr(0, dot) + number + name.substr(dot);
}

void CommonFolder::Add(const std::string& path) {
    const std::string folder = NormalFolderOf(path);
    if (first_) {
        common_ = folder;
        first_ = false;
        return;
    }
    size_t same = 0;
    while (same < common_.size() && same < folder.size() && common_[same] == folder[same]) {
        ++same;
    }
    common_.resize(common_.rfind('/', same == 0 ? 0 : same - 1) + 1);
}

std::string CommonFolder::Base(const BatchRequest& request, const std::string& added) const {
    const std::string given = request.treeBase.empty() ? added : request.treeBase;
    if (!given.empty()) {
        std::string base = NormalPath(given);
        if (base.empty() || base.back() != '/') {
            base += '/';
        }
        if (StartsWith(common_, base)) {
            return base;
        }
    }
    return common_;
}

std::string TreeBaseOf(const BatchRequest& request, const FileList& list) {
    CommonFolder common;
    for (const FileEntry& entry : list) {
        common.Add(entry.path);
    }
    return common.Base(request, list.AddedFolder());
}

OutputJob JobOf(const BatchRequest& request, const FileEntry& entry, size_t index) {
    return Job(request, OutputFolderOf(request), entry, index);
}

OutputJob JobBelow(const BatchRequest& request, const std::string& base, const FileEntry& entry,
                   size_t index) {
    const std::string folder = OutputFolderOf(request);
    if (!request.keepTree || folder.empty()) {
        return Job(request, folder, entry, index);
    }
    // Every listed file lies below the base, so what follows it has no "..".
    const std::string subfolder = NormalFolderOf(entry.path).substr(base.size());
    OutputJob job = Job(request, folder + subfolder, entry, index);
    job.subfolder = subfolder;
    return job;
}

std::vector<OutputJob> OutputJobs(const BatchRequest& request, const FileList& list) {
    const std::string folder = OutputFolderOf(request);
    std::vector<OutputJob> jobs;
    jobs.reserve(list.size());
    const std::string base = request.keepTree ? TreeBaseOf(request, list) : std::string();
    for (size_t i = 0; i < list.size(); ++i) {
        jobs.push_back(JobBelow(request, base, list[i], i));
    }
    if (request.onClash == ClashRule::Number) {
        NumberClashes(jobs);
    }
    return jobs;
}

OutputJob JobWriting(const std::string& outputPath, uint32_t dpi) {
    OutputJob job;
    job.outputName = std::string(FileNameOf(outputPath));
    job.outputPath = outputPath;
    job.outputFormat = OutputFormatOfName(outputPath);
    job.dpi = dpi;
    return job;
}

}  // namespace korvale

// Each output decided once.
#include "OutputJob.h"

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

}  // namespace

OutputJob JobOf(const BatchRequest& request, const FileEntry& entry, size_t index) {
    return Job(request, OutputFolderOf(request), entry, index);
}

std::vector<OutputJob> OutputJobs(const BatchRequest& request, const FileList& list) {
    const std::string folder = OutputFolderOf(request);
    std::vector<OutputJob> jobs;
    jobs.reserve(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        jobs.push_back(Job(request, folder, list[i], i));
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

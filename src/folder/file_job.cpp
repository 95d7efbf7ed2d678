#include "folder/file_job.h"

#include "index/entry_content.h"
#include "util/console.h"

namespace catpack {

void openJobTarget(FileJob& job) {
  std::optional<OutputFile> file = openOutputFile(job.targetPath, job.targetListed);
  if (file) job.file.emplace(std::move(*file));
}

void writeJobBytes(FileJob& job, const std::string& outPath) {
  StreamOutcome outcome = StreamOutcome::complete;
  if (job.file && job.bytes) {
    outcome = streamBytes(*job.bytes, job.toggleScrambling,
                          [&](const unsigned char* bytes, std::uint32_t count) {
                            return job.file->write(bytes, count);
                          });
  }
  job.bytes.reset();
  if (outcome == StreamOutcome::readFailed) {
    printErr("Failed reading file %s from %s\n", job.name.c_str(), job.source.c_str());
    job.file.reset();
    return;
  }
  if (!job.file || outcome == StreamOutcome::sinkFailed) {
    printErr("Failed writing file %s to folder %s\n", job.name.c_str(), outPath.c_str());
    job.file.reset();
    return;
  }
  job.file->finish(job.time);
}

}  // namespace catpack

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "fakes.h"
#include "metrics/file_metrics_writer.h"

namespace brevalt {
namespace {

namespace fs = std::filesystem;

// The exporter runs as a user of its own: the file is readable by all
// whatever Brevalt's umask, names the user who wrote it, replaces the
// earlier one in one step (a new file: one written in place could be read
// half-written), and leaves no temporary file behind; a link planted at the
// temporary name is never written through.
TEST(MetricsFile, ReplacedWholeReadableByAllAndNeverThroughALink) {
    test::TempDir dir;
    const std::string path = test::utf8(dir / "brevalt.prom");
    FileMetricsWriter writer;
    MetricsSnapshot snapshot;
    snapshot.rotations = 1;
    snapshot.operator_name = ::getpwuid(::geteuid())->pw_name;
    const mode_t umask_before = ::umask(007);
    const SysResult first = writer.write(path, snapshot);
    struct stat before {};
    ::stat(path.c_str(), &before);
    snapshot.rotations = 2;
    const SysResult second = writer.write(path, snapshot);
    ::umask(umask_before);
    ASSERT_TRUE(first.ok() && second.ok());
    struct stat after {};
    ::stat(path.c_str(), &after);
    EXPECT_NE(before.st_ino, after.st_ino) << "replaced, not written in place";
    EXPECT_EQ(test::read_file(path), prometheus_text(snapshot));
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0644));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

    test::write_file(dir / "elsewhere", "kept");
    fs::create_symlink(dir / "elsewhere", path + ".tmp");
    snapshot.rotations = 3;
    EXPECT_TRUE(writer.write(path, snapshot).ok());
    EXPECT_EQ(test::read_file(dir / "elsewhere"), "kept");
    EXPECT_EQ(test::read_file(path), prometheus_text(snapshot));
    EXPECT_FALSE(fs::is_symlink(path));

    const SysResult missing = writer.write(test::utf8(dir / "none" / "brevalt.prom"), snapshot);
    EXPECT_STREQ(missing.failed_call, "open");
    EXPECT_EQ(missing.error, ENOENT);
}

}  // namespace
}  // namespace brevalt

/* pagerake-badfs: a failing disk for the tests. Mounts (with FUSE) a folder that holds one file,
 * disk.img, whose bytes are those of IMAGE, read only, except that any read touching one of the
 * BAD sector ranges fails with EIO, as a damaged disk's does. Reads are passed through as the
 * program asks for them (direct I/O), so no cache hides a bad sector.
 *
 *   pagerake-badfs IMAGE MOUNTPOINT FIRST-END[,FIRST-END...] [FUSE options]
 *
 * Ranges are 512-byte sector numbers, END exclusive. Every open is refused but for reading (so a
 * write to the source would fail loudly); each open's flags are appended to MOUNTPOINT.opens.
 */
#define FUSE_USE_VERSION 31
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#define MAX_RANGES 64

static int image_fd = -1;
static off_t image_size = 0;
static int64_t bad_first[MAX_RANGES], bad_end[MAX_RANGES];
static int bad_count = 0;
static char opens_log[4096];

static int is_file(const char* path) { return strcmp(path, "/disk.img") == 0; }

static int fs_getattr(const char* path, struct stat* st, struct fuse_file_info* fi) {
  (void)fi;
  memset(st, 0, sizeof *st);
  if (strcmp(path, "/") == 0) {
    st->st_mode = S_IFDIR | 0555;
    st->st_nlink = 2;
    return 0;
  }
  if (!is_file(path)) return -ENOENT;
  st->st_mode = S_IFREG | 0444;
  st->st_nlink = 1;
  st->st_size = image_size;
  return 0;
}

static int fs_readdir(const char* path, void* buf, fuse_fill_dir_t fill, off_t off,
                      struct fuse_file_info* fi, enum fuse_readdir_flags flags) {
  (void)off;
  (void)fi;
  (void)flags;
  if (strcmp(path, "/") != 0) return -ENOENT;
  fill(buf, ".", NULL, 0, 0);
  fill(buf, "..", NULL, 0, 0);
  fill(buf, "disk.img", NULL, 0, 0);
  return 0;
}

static int fs_open(const char* path, struct fuse_file_info* fi) {
  if (!is_file(path)) return -ENOENT;
  FILE* log = fopen(opens_log, "a");
  if (log) {
    fprintf(log, "%d\n", fi->flags);
    fclose(log);
  }
  if ((fi->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
  fi->direct_io = 1;
  return 0;
}

static int fs_read(const char* path, char* buf, size_t size, off_t offset,
                   struct fuse_file_info* fi) {
  (void)fi;
  if (!is_file(path)) return -ENOENT;
  const int64_t first = offset / 512;
  const int64_t end = (offset + (off_t)size + 511) / 512;
  for (int i = 0; i < bad_count; ++i) {
    if (first < bad_end[i] && bad_first[i] < end) return -EIO;
  }
  const ssize_t got = pread(image_fd, buf, size, offset);
  return got < 0 ? -errno : (int)got;
}

static const struct fuse_operations ops = {
    .getattr = fs_getattr,
    .readdir = fs_readdir,
    .open = fs_open,
    .read = fs_read,
};

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: pagerake-badfs IMAGE MOUNTPOINT FIRST-END[,...] [FUSE options]\n");
    return 2;
  }
  image_fd = open(argv[1], O_RDONLY);
  if (image_fd < 0) {
    perror(argv[1]);
    return 1;
  }
  image_size = lseek(image_fd, 0, SEEK_END);
  snprintf(opens_log, sizeof opens_log, "%s.opens", argv[2]);
  for (char* range = strtok(argv[3], ","); range && bad_count < MAX_RANGES;
       range = strtok(NULL, ",")) {
    if (sscanf(range, "%lld-%lld", (long long*)&bad_first[bad_count],
               (long long*)&bad_end[bad_count]) == 2) {
      ++bad_count;
    }
  }
  /* fuse_main(argv[0], MOUNTPOINT, options…) */
  char* fuse_argv[32];
  int n = 0;
  fuse_argv[n++] = argv[0];
  fuse_argv[n++] = argv[2];
  for (int i = 4; i < argc && n < 31; ++i) fuse_argv[n++] = argv[i];
  return fuse_main(n, fuse_argv, &ops, NULL);
}

// Grids in folders: a folder with a card is a grid, and the logs in it and
// below it are its visits unless a nearer card claims them. A grid's history
// is built from its logs' summaries, so that a log is read only when it is
// new or has changed.
#include "archive.h"

#include <dirent.h>
#include <string.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <map>
#include <set>

#define MAX_DEPTH 32   // folders below the archive; also ends a loop of links

static bool EndsWith(const std::string &s, const char *tail)
{
    size_t n = strlen(tail);
    return s.size() > n && Rep_SameText(s.substr(s.size() - n), tail);
}

typedef std::set<std::pair<uint64_t, uint64_t>> SEEN;   // folders walked, by device and inode

// A folder's entries, sorted by name: folders to walk, plain files.
static void List(const std::string &dir, std::vector<std::string> *dirs, std::vector<std::string> *files)
{
    std::vector<std::pair<std::string, bool>> names;   // name, whether a folder
#ifdef _WIN32
    // A junction or a symbolic link to a folder may lead back up the tree:
    // FindFirstFile reports the link itself, with FILE_ATTRIBUTE_REPARSE_POINT
    // and its tag in dwReserved0, and the walk leaves it alone. Folders whose
    // tag is one of Microsoft's and no name surrogate (files kept in the
    // cloud, deduplicated, a DFS link) are walked; a tag of no one's (as Wine
    // reports for a link) may be anything and is not.
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + (strchr("/\\", dir.back()) ? "*" : "\\*")).c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            bool folder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            bool link = (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                        (IsReparseTagNameSurrogate(fd.dwReserved0) || !IsReparseTagMicrosoft(fd.dwReserved0));
            if (strcmp(fd.cFileName, ".") == 0 || strcmp(fd.cFileName, "..") == 0 || (folder && link))
                continue;
            names.push_back({fd.cFileName, folder});
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
#else
    if (DIR *d = opendir(dir.c_str())) {
        while (struct dirent *e = readdir(d)) {
            struct stat st;
            std::string path = dir + (dir.back() == '/' ? "" : "/") + e->d_name;
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0 && stat(path.c_str(), &st) == 0 &&
                (S_ISDIR(st.st_mode) || S_ISREG(st.st_mode)))
                names.push_back({e->d_name, S_ISDIR(st.st_mode)});
        }
        closedir(d);
    }
#endif
    std::sort(names.begin(), names.end());
    for (const auto &n : names)
        (n.second ? dirs : files)->push_back(n.first);
}

static void Walk(const std::string &dir, int cur, bool rootIsGrid, int depth, std::vector<REP_GRIDDIR> *grids,
                 SEEN *seen)
{
#ifndef _WIN32
    // Links may lead back to a folder already walked: once is enough.
    struct stat self;
    if (stat(dir.c_str(), &self) == 0 && !seen->insert({(uint64_t)self.st_dev, (uint64_t)self.st_ino}).second)
        return;
#else
    (void)seen;   // links to folders are not followed (List)
#endif
    std::vector<std::string> names, logs, dirs;
    List(dir, &dirs, &names);
    std::string slash = dir.back() == '/' ? "" : "/";
    std::string cardName;   // as spelt on disk: Linux matches names exactly
    for (std::string &sub : dirs)
        sub = dir + slash + sub;
    for (const std::string &name : names) {
        if (Rep_SameText(name, REP_CARD_NAME))
            cardName = name;
        else if (EndsWith(name, ".log"))
            logs.push_back(dir + slash + name);
    }
    bool card = !cardName.empty();
    if (card || (depth == 0 && rootIsGrid) || (cur < 0 && !logs.empty())) {
        REP_GRIDDIR g;
        g.strCard = card ? dir + slash + cardName : "";
        g.strFolder = dir;
        g.iParent = card ? cur : -1;
        grids->push_back(g);
        cur = (int)grids->size() - 1;
    }
    for (const std::string &log : logs)
        (*grids)[cur].aLogs.push_back(log);
    if (depth < MAX_DEPTH)
        for (const std::string &sub : dirs)
            Walk(sub, cur, rootIsGrid, depth + 1, grids, seen);
}

void Rep_FindGrids(const std::string &root, bool rootIsGrid, std::vector<REP_GRIDDIR> *grids)
{
    grids->clear();
    SEEN seen;
    Walk(root.empty() ? "." : root, -1, rootIsGrid, 0, grids, &seen);
    for (const REP_GRIDDIR &g : *grids)
        if (g.iParent >= 0)
            (*grids)[g.iParent].nNested += (int)g.aLogs.size() + g.nNested;
}


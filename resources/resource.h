// Resource ids shared by the resource script and the code.
#ifndef RESOURCE_H
#define RESOURCE_H

// Link errors
#define IDS_ERR_THREAD_START   10101
#define IDS_ERR_OFFSET_TIMEOUT 10103
#define IDS_ERR_DATA_TIMEOUT   10105
#define IDS_ERR_DATA_EXCESS    10106
#define IDS_ERR_OPEN_PORT      10107
#define IDS_ERR_ROD_IMPOSSIBLE 10108
#define IDS_ERR_BAD_PROTOCOL   10109

#endif

/* The bridge's locks for programs on the box's own C library (uClibc), which
 * has no threads: its programs run one thread, so the locks lock nothing. */
#ifndef VBOX_BRIDGE_SINGLE_THREADED_PTHREAD_H
#define VBOX_BRIDGE_SINGLE_THREADED_PTHREAD_H

typedef struct {
    int unused;
} pthread_mutex_t;
#define PTHREAD_MUTEX_INITIALIZER                                                                                      \
    { 0 }

static inline int pthread_mutex_lock(pthread_mutex_t* m) {
    (void)m;
    return 0;
}
static inline int pthread_mutex_unlock(pthread_mutex_t* m) {
    (void)m;
    return 0;
}

#endif

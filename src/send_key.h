#ifndef LARNIX_SEND_KEY_H
#define LARNIX_SEND_KEY_H

// Injects one press (release == 0) or release (any other value) of the virtual key vk;
// only the low 16 bits of vk count. Returns 1 when the platform took the event, 0 when
// it refused it, in which case one line saying so has gone to standard error.
int send_key(unsigned int vk, int release);

#endif

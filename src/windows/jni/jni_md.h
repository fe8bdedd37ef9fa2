/* Machine-dependent JNI types and linkage for 32-bit Windows (the JDK installed for building ships
   only the Linux variant of this header). */
#ifndef JAUNT_JNI_MD_H
#define JAUNT_JNI_MD_H

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif

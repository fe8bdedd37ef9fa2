/* Machine-dependent JNI types and linkage for Windows, 32-bit and 64-bit (the JDK installed for
   building ships only the Linux variant of this header). long is 32 bits in both; __stdcall
   applies to 32-bit code only (64-bit Windows has one calling convention). */
#ifndef JAUNT_JNI_MD_H
#define JAUNT_JNI_MD_H

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif

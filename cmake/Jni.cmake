# The JDK for the driver's JVM entry points and Java classes: javac and jar
# from find_package(Java), the JNI headers (and, natively, the JVM library the
# JVM test loads) from the same JDK. A missing JDK fails the configure step;
# -DTAVRIX_BUILD_JNI=OFF builds without the JVM side instead.
find_package(Java 1.8 REQUIRED COMPONENTS Development)

# The JDK that javac belongs to (<jdk>/bin/javac behind the alternatives links),
# so the headers, the JVM and the compiler agree unless JAVA_HOME says otherwise.
if(NOT DEFINED JAVA_HOME AND NOT DEFINED ENV{JAVA_HOME})
  get_filename_component(tavrix_javac "${Java_JAVAC_EXECUTABLE}" REALPATH)
  get_filename_component(tavrix_jdk_bin "${tavrix_javac}" DIRECTORY)
  get_filename_component(JAVA_HOME "${tavrix_jdk_bin}" DIRECTORY)
endif()

if(CMAKE_CROSSCOMPILING)
  # The JDK's JNI headers are the same for every Linux target (jni_md.h picks
  # jlong's type by _LP64), so the host JDK's serve the target too. The host's
  # JVM library is of no use to the target: no JVM test in a cross build.
  set(tavrix_jdk_hint ${JAVA_HOME} $ENV{JAVA_HOME})
  find_path(JAVA_INCLUDE_PATH jni.h HINTS ${tavrix_jdk_hint} PATH_SUFFIXES include
            NO_CMAKE_FIND_ROOT_PATH)
  find_path(JAVA_INCLUDE_PATH2 jni_md.h HINTS ${tavrix_jdk_hint} PATH_SUFFIXES include/linux
            NO_CMAKE_FIND_ROOT_PATH)
  if(NOT JAVA_INCLUDE_PATH OR NOT JAVA_INCLUDE_PATH2)
    message(FATAL_ERROR "JNI headers not found in the host JDK (${JAVA_HOME}); "
                        "set JAVA_HOME or configure with -DTAVRIX_BUILD_JNI=OFF")
  endif()
else()
  find_package(JNI REQUIRED COMPONENTS JVM)
endif()

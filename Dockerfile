# frameprobe in a container: a build stage makes the Debian package, a slim run
# stage installs it. Build with `docker build -t frameprobe .`, run with
#   docker run --rm -v "$PWD:/data" -w /data frameprobe --format json -o clip.json clip.mp4
FROM debian:12 AS build
WORKDIR /src
COPY . .
RUN bash scripts/install-deps.sh --package \
 && cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DFRAMEPROBE_BENCH=OFF \
 && cmake --build build -j"$(nproc)" \
 && cd build && cpack -G DEB -B /packages

FROM debian:12-slim
COPY --from=build /packages/frameprobe_*.deb /tmp/
RUN apt-get update \
 && apt-get install -y --no-install-recommends /tmp/frameprobe_*.deb \
 && rm -rf /var/lib/apt/lists/* /tmp/frameprobe_*.deb
ENTRYPOINT ["frameprobe"]

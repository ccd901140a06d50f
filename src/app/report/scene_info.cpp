// --info: the load, the walk and its writer.
#include "app/report/scene_info.h"

#include "app/exit_status.h"
#include "app/report/json_report.h"
#include "app/report/scene_walk.h"
#include "app/report/text_report.h"
#include "app/scene_input.h"
#include "scene/loader.h"

int PrintSceneInfo(const char* path, bool json, const double* frameTime, std::FILE* out,
                   std::FILE* err, const SceneMapOptions& mapOptions) {
    Scene* scene = LoadNamedScene(path);
    const char* readFrom = path;
    path = ShownSceneName(path);
    if (scene == nullptr) {
        if (json) {
            PrintLoadFailureJson(path, LastLoadError(), out);
        } else {
            PrintLoadFailureText(path, err);
        }
        return kStatusFailure;
    }
    SceneMaps maps;
    LoadSceneMaps(*scene, readFrom, mapOptions, maps);
    ReportedScene reported;
    PrepareReport(reported, path, *scene, frameTime);
    reported.maps = &maps;
    reported.mapsDecoded = mapOptions.decode;
    if (json) {
        JsonReport writer;
        writer.out = out;
        WalkScene(reported, writer);
    } else {
        TextReport writer{out};
        WalkScene(reported, writer);
    }
    FreeSceneMaps(maps);
    FreeScene(scene);
    return kStatusSuccess;
}

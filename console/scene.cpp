#include "console/scene.h"

#include <GL/freeglut.h>
#include <GL/glu.h>

#include <cstdio>

#include "cards/daq_card.h"
#include "cards/motion_card.h"
#include "console/arm_mesh_layout.h"
#include "console/scene_math.h"

int RunStatus = Ready;
Model armModel;
float jointAngles[arm::kEncoderChannelCount] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
float musclePressures[arm::kPressureChannelCount] = {};
unsigned int linkLists = 0;
float viewRotation[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
float viewTranslation[3] = {70.0f, -10.0f, 10.0f};
float viewAspect = 0.0f;

namespace {

constexpr const char* kStatusTexts[] = {
    "Ready...",
    "Going to Home Position...",
    "Using Only-Neural Networks...",
    "Using Neuro-Fuzzy Hybrid Controller...",
    "Action Finished...",
    "Generating Trajectory...",
    "Manual Mode...",
};

// The outcome of the last action that did not simply complete; "" when none.
char actionOutcome[160] = {};

const GLfloat kLightRotation[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 100};
const GLfloat kLight0Position[4] = {50.0f, 50.0f, 50.0f, 0.0f};

void DrawText(int x, int y, void* font, const char* text) {
    glRasterPos2i(x, y);
    for (; *text != '\0'; ++text) {
        glutBitmapCharacter(font, static_cast<unsigned char>(*text));
    }
}

// A readout "<label> <n>=<value>" with n counted from 1, formatted into a
// fixed buffer.
void DrawReadout(int x, int y, const char* label, int index, const char* value) {
    char text[64];
    std::snprintf(text, sizeof text, "%s %d=%s", label, index + 1, value);
    DrawText(x, y, GLUT_BITMAP_HELVETICA_12, text);
}

void DrawMeshObject(const MeshObject& object) {
    const bool coloured = armModel.materialCount > 0 && object.materialId >= 0;
    const MeshMaterial* material = coloured ? &armModel.materials[object.materialId] : nullptr;
    glBegin(GL_TRIANGLES);
    for (const Face& face : object.faces) {
        for (const int v : face.vertexIndex) {
            const Vec3& normal = object.normals[v];
            glNormal3f(normal.x, normal.y, normal.z);
            if (object.hasTexture) {
                if (!object.texCoords.empty()) {
                    glTexCoord2f(object.texCoords[v].u, object.texCoords[v].v);
                }
            } else if (material != nullptr) {
                glColor3ub(material->colour[0], material->colour[1], material->colour[2]);
            }
            const Vec3& vertex = object.vertices[v];
            glVertex3f(vertex.x, vertex.y, vertex.z);
        }
    }
    glEnd();
}

}  // namespace

const char* RunStatusText(int status) {
    return status >= 0 && status < static_cast<int>(std::size(kStatusTexts)) ? kStatusTexts[status]
                                                                             : "";
}

void SetActionOutcome(const char* text) {
    std::snprintf(actionOutcome, sizeof actionOutcome, "%s", text);
}

const char* MessageLineText() {
    return EmergencyStopStatus == 1 ? kEmergencyStopPressedText : actionOutcome;
}

int OpenViewWindow(const char* title) {
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowPosition(0, 0);
    glutInitWindowSize(kViewWindowWidth, kViewWindowHeight);
    LoadArmModel();  // before any window: the mesh needs no GL context
    const int window = glutCreateWindow(title);

    // Both lights are directional and fixed to the eye (the model-view
    // matrix is the identity here); the view sets light 0 again every frame.
    const GLfloat ambient0[] = {0.4f, 0.4f, 0.4f, 0.2f};
    const GLfloat diffuse0[] = {0.4f, 0.4f, 0.4f, 1.0f};
    glEnable(GL_LIGHTING);
    glEnable(GL_NORMALIZE);
    glEnable(GL_LIGHT0);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient0);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse0);
    glLightfv(GL_LIGHT0, GL_POSITION, kLight0Position);

    const GLfloat ambient1[] = {0.4f, 0.4f, 0.3f, 0.2f};
    const GLfloat diffuse1[] = {0.4f, 0.4f, 0.4f, 0.4f};
    const GLfloat position1[] = {-50.0f, -50.0f, 50.0f, 0.0f};
    glEnable(GL_LIGHT1);
    glLightfv(GL_LIGHT1, GL_AMBIENT, ambient1);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse1);
    glLightfv(GL_LIGHT1, GL_POSITION, position1);

    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_DEPTH_TEST);
    return window;
}

void LoadArmModel() {
    ModelLoader loader;
    loader.ImportModel(armModel, "Resources/Drawing1.3ds");
}

void BuildLinkLists() {
    const double heights[3] = {50.0, 30.0, 10.0};
    glEnable(GL_DEPTH_TEST);
    linkLists = glGenLists(3);
    GLUquadric* quadric = gluNewQuadric();
    for (unsigned int k = 0; k < 3; ++k) {
        gluQuadricDrawStyle(quadric, GLU_FILL);
        gluQuadricNormals(quadric, GLU_FLAT);
        glNewList(linkLists + k, GL_COMPILE);
        gluCylinder(quadric, 3.0, 3.0, heights[k], 15, 5);
        glEndList();
    }
    gluDeleteQuadric(quadric);
}

void DisplayView() {
    glClearColor(0.0f, 0.0f, 0.2f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-0.4 * viewAspect, 0.4 * viewAspect, -0.4, 0.4, 1.0, 750.0);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glMultMatrixf(kLightRotation);
    glLightfv(GL_LIGHT0, GL_POSITION, kLight0Position);
    glLoadIdentity();

    glTranslatef(-220.0f, -100.0f, -540.0f);
    glRotatef(30.0f, 0.0f, -0.5f, 0.0f);
    glTranslatef(viewTranslation[0], viewTranslation[1], -viewTranslation[2]);
    glMultMatrixf(viewRotation);

    glPushMatrix();
    DrawScene();
    glPopMatrix();
    glutSwapBuffers();
}

void DrawScene() {
    DrawArm();
    DrawReadouts();
    DrawAxes();
    glFlush();
}

void DrawArm() {
    for (int i = 0; i < armModel.objectCount - kArmHelperObjects; ++i) {
        glEnable(GL_TEXTURE_2D);
        glColor3ub(255, 255, 255);
        glBindTexture(GL_TEXTURE_2D, 0);
        glPushMatrix();
        if (i >= kArmFrameObjects) {
            glTranslatef(CarriageOffset(jointAngles[0]), 0.0f, 0.0f);
        }
        DrawMeshObject(armModel.objects[i]);
        glPopMatrix();
    }

    const auto links = PlaceLinks(jointAngles);
    const GLfloat colours[3][3] = {{0.7f, 0.6f, 0.6f}, {0.7f, 0.7f, 0.7f}, {1.0f, 0.0f, 0.0f}};
    for (unsigned int k = 0; k < 3; ++k) {
        glPushMatrix();
        glTranslatef(links[k].x, links[k].y, links[k].z);
        glRotatef(links[k].angle, 1.0f, 0.0f, 0.0f);
        glColor3f(colours[k][0], colours[k][1], colours[k][2]);
        glCallList(linkLists + k);
        glPopMatrix();
    }
}

void DrawReadouts() {
    glDisable(GL_LIGHTING);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0.0, 200.0, 0.0, 200.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor3ub(250, 250, 0);

    ReadPressures(musclePressures);
    ReadEncoderCounts();
    ReadJointAngles(jointAngles);
    ReadEmergencyStop();

    DrawText(10, 10, GLUT_BITMAP_HELVETICA_18, RunStatusText(RunStatus));
    for (int j = 0; j < arm::kEncoderChannelCount; ++j) {
        char count[16];
        std::snprintf(count, sizeof count, "%d", EncoderCounts[j]);
        DrawReadout(58 + 28 * j, 195, "Encoder", j, count);
    }
    for (int j = 0; j < arm::kMuscleCount; ++j) {
        DrawReadout(5, 195 - 5 * j, "Muscle  Pressure", j,
                    FormatReadoutReal(musclePressures[j]).text);
    }
    DrawText(185, 10, GLUT_BITMAP_9_BY_15, "QT53");
    for (int j = 0; j < arm::kEncoderChannelCount; ++j) {
        DrawReadout(58 + 28 * j, 190, "Angle", j, FormatReadoutReal(jointAngles[j]).text);
    }
    // Under the status, in the status's font family and a colour that stands
    // out from the readouts.
    glColor3ub(255, 110, 90);
    DrawText(10, 4, GLUT_BITMAP_HELVETICA_12, MessageLineText());
    glEnable(GL_LIGHTING);
}

void DrawAxes() {
    glDisable(GL_LIGHTING);
    glPushMatrix();
    glTranslatef(165.5f, 10.0f, 0.0f);
    glMultMatrixf(viewRotation);
    glBegin(GL_LINES);
    glColor3f(1.0f, 0.0f, 0.0f);
    glVertex3f(12.0f, 0.75f, 0.0f);
    glVertex3f(15.0f, 3.75f, 0.0f);
    glVertex3f(12.0f, 3.75f, 0.0f);
    glVertex3f(15.0f, 0.75f, 0.0f);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glVertex3f(15.0f, 0.0f, 0.0f);
    glColor3f(0.0f, 1.0f, 0.0f);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glVertex3f(0.0f, 15.0f, 0.0f);
    glColor3f(0.0f, 0.0f, 1.0f);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glVertex3f(0.0f, 0.0f, 15.0f);
    glEnd();
    glPopMatrix();
    glEnable(GL_LIGHTING);
}
